#include "text/dual_string.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

TEST(DualStringTest, NarrowRoundTrips) {
  for (const std::string text :
       {"", "cn=Jane Doe,ou=Sales,dc=example,dc=com", "Ren\xC3\xA9", "smile \xF0\x9F\x98\x80"}) {
    DualString dual(text);
    EXPECT_EQ(dual.Narrow(), text);
    EXPECT_STREQ(dual.NarrowCStr(), text.c_str());
  }
}

TEST(DualStringTest, WideFormOfNarrowText) {
  EXPECT_EQ(std::u16string(DualString("R\xC3\xA9").WideCStr()), u"R\u00E9");
  EXPECT_EQ(DualString("\xF0\x9F\x98\x80").Wide(), (std::u16string{0xD83D, 0xDE00}));
  EXPECT_EQ(DualString("a\xFF").Wide(), u"a\uFFFD");
  EXPECT_EQ(DualString(std::string("ab\0cd", 5)).Wide(), u"ab");
}

TEST(DualStringTest, FromWideText) {
  EXPECT_EQ(DualString(u"R\u00E9").Narrow(), "R\xC3\xA9");
  EXPECT_EQ(DualString(std::u16string(u"ab\0cd", 5)).Wide(), u"ab");
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(DualString(lone).Narrow(), "x?y");
}

TEST(DualStringTest, NarrowFollowsAssignment) {
  DualString dual("first");
  const char* before = dual.NarrowCStr();
  EXPECT_STREQ(before, "first");
  dual.AssignNarrow("second text");
  EXPECT_EQ(dual.Narrow(), "second text");
  EXPECT_EQ(dual.Wide(), u"second text");
}

}  // namespace
}  // namespace varnel
