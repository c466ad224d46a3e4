#include "exchange/distinguished_name.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(ParentDnTest, CutsAtTheFirstSeparatingComma) {
  EXPECT_EQ(ParentDn("CN=DB1,CN=SG1,CN=InformationStore,CN=SRV1"),
            "CN=SG1,CN=InformationStore,CN=SRV1");
  EXPECT_EQ(ParentDn("CN=a, OU=b"), "OU=b");
  EXPECT_EQ(ParentDn("CN=a;OU=b"), "OU=b");
}

TEST(ParentDnTest, EscapedAndQuotedCommasBelongToTheValue) {
  EXPECT_EQ(ParentDn("CN=Smith\\, John,OU=Staff,DC=x"), "OU=Staff,DC=x");
  EXPECT_EQ(ParentDn("CN=back\\\\,OU=Staff"), "OU=Staff");  // an escaped backslash
  EXPECT_EQ(ParentDn("CN=a\\2Cb,OU=c"), "OU=c");
  EXPECT_EQ(ParentDn("CN=\"Smith, John\",OU=Staff"), "OU=Staff");
}

TEST(ParentDnTest, TopLevelAndDegenerateNamesHaveNoParent) {
  EXPECT_EQ(ParentDn("DC=com"), std::nullopt);
  EXPECT_EQ(ParentDn(""), std::nullopt);
  EXPECT_EQ(ParentDn("CN=a,"), std::nullopt);
  EXPECT_EQ(ParentDn("CN=a\\"), std::nullopt);  // a dangling escape does not read past the end
}

}  // namespace
}  // namespace varnel
