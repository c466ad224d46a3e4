#include "ldap/filter_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

TEST(EscapeFilterValueTest, EscapesEachSpecialCharacter) {
  EXPECT_EQ(EscapeFilterValue("a*"), "a\\2a");
  EXPECT_EQ(EscapeFilterValue("Mailbox Store (SRV1)"), "Mailbox Store \\28SRV1\\29");
  EXPECT_EQ(EscapeFilterValue("a\\b"), "a\\5cb");
  EXPECT_EQ(EscapeFilterValue(std::string("x\0y", 3)), "x\\00y");
  EXPECT_EQ(EscapeFilterValue("*()\\"), "\\2a\\28\\29\\5c");
}

TEST(EscapeFilterValueTest, KeepsOrdinaryTextAndUtf8) {
  EXPECT_EQ(EscapeFilterValue(""), "");
  EXPECT_EQ(EscapeFilterValue("First Storage Group"), "First Storage Group");
  EXPECT_EQ(EscapeFilterValue("Bj\xc3\xb6rn=a,b"), "Bj\xc3\xb6rn=a,b");
}

}  // namespace
}  // namespace varnel
