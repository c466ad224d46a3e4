#include "exchange/recipient_alias.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(MakeAliasTest, KeepsOnlyAliasCharacters) {
  EXPECT_EQ(MakeAlias("jsmith"), "jsmith");
  EXPECT_EQ(MakeAlias("John Smith (Sales)"), "JohnSmithSales");
  EXPECT_EQ(MakeAlias("a!#$%&'*+-/=?^_`{|}~.b"), "a!#$%&'*+-/=?^_`{|}~.b");
  EXPECT_EQ(MakeAlias("x,y;z:\"<>[]@\\"), "xyz");
  EXPECT_EQ(MakeAlias("Jos\xC3\xA9"), "Jos");  // bytes outside ASCII are dropped
}

TEST(MakeAliasTest, DropsLeadingAndTrailingDots) {
  EXPECT_EQ(MakeAlias("..a.b.."), "a.b");
  EXPECT_EQ(MakeAlias(" .a "), "a");
  EXPECT_EQ(MakeAlias("..."), "");
  EXPECT_EQ(MakeAlias(""), "");
}

TEST(AliasForTest, PrefersTheAccountNameOverTheCommonName) {
  EXPECT_EQ(AliasFor("jsmith", "John Smith"), "jsmith");
  EXPECT_EQ(AliasFor("", "John Smith"), "JohnSmith");
  EXPECT_EQ(AliasFor("()", "John Smith"), "JohnSmith");
  EXPECT_EQ(AliasFor("", ""), "");
}

}  // namespace
}  // namespace varnel
