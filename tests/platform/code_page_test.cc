#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

TEST(CodePageTest, StopsAtFirstZero) { EXPECT_EQ(WideToNarrow(std::u16string(u"a\0b", 3)), "a"); }

TEST(CodePageTest, Utf16ToUtf8) {
  EXPECT_EQ(WideToNarrow(u"\u0080\u07FF\u0800\uFFFF"), "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(WideToNarrow(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToNarrow(std::u16string{0xDE00, 0xD83D}), "??");
  EXPECT_EQ(WideToNarrow(std::u16string{u'a', 0xD83D}), "a?");
}

}  // namespace
}  // namespace varnel
