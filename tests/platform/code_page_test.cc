#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

TEST(CodePageTest, WellFormedUtf8) {
  EXPECT_EQ(NarrowToWide(""), u"");
  EXPECT_EQ(NarrowToWide("\x7F\xC2\x80\xDF\xBF"), u"\u007F\u0080\u07FF");
  EXPECT_EQ(NarrowToWide("\xE0\xA0\x80\xEF\xBF\xBF"), u"\u0800\uFFFF");
  EXPECT_EQ(NarrowToWide("\xF4\x8F\xBF\xBF"), (std::u16string{0xDBFF, 0xDFFF}));
}

TEST(CodePageTest, IllFormedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(NarrowToWide("\x80z"), u"\uFFFDz");
  EXPECT_EQ(NarrowToWide("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(NarrowToWide("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(NarrowToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(NarrowToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(NarrowToWide("\xE2\x82z"), u"\uFFFDz");    // truncated, one replacement
  EXPECT_EQ(NarrowToWide("\xF0\x9F\x98"), u"\uFFFD");  // cut at the end of the input
}

TEST(CodePageTest, StopsAtFirstZero) {
  EXPECT_EQ(NarrowToWide(std::string("\xE2\x82\0\xAC", 4)), u"\uFFFD");
  EXPECT_EQ(WideToNarrow(std::u16string(u"a\0b", 3)), "a");
}

TEST(CodePageTest, Utf16ToUtf8) {
  EXPECT_EQ(WideToNarrow(u"\u0080\u07FF\u0800\uFFFF"), "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(WideToNarrow(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToNarrow(std::u16string{0xDE00, 0xD83D}), "??");
  EXPECT_EQ(WideToNarrow(std::u16string{u'a', 0xD83D}), "a?");
}

}  // namespace
}  // namespace varnel
