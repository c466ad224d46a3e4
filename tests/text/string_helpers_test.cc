#include "text/string_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnel {
namespace {

using ::testing::ElementsAre;
using Fields = std::vector<std::string>;

Fields SplitOf(const std::string& text, const std::string& delimiter, int* count = nullptr) {
  Fields fields;
  const int n = Split(text, delimiter, &fields);
  if (count != nullptr) *count = n;
  return fields;
}

TEST(CaseFoldingTest, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(LowerCase("MailNickName"), "mailnickname");
  EXPECT_EQ(UpperCase("t1"), "T1");
  EXPECT_EQ(LowerCase("\xC3\x89-@[`{Z"), "\xC3\x89-@[`{z");
  EXPECT_EQ(UpperCase("\xC3\xA9-@[`{a"), "\xC3\xA9-@[`{A");
  EXPECT_EQ(LowerCase(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(SplitTest, SingleCharacterDelimiter) {
  int count = -1;
  EXPECT_THAT(SplitOf("", ":", &count), ElementsAre());
  EXPECT_EQ(count, 0);
  EXPECT_THAT(SplitOf("a", ":", &count), ElementsAre("a"));
  EXPECT_EQ(count, 1);
  EXPECT_THAT(SplitOf("a:b", ":"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitOf("a:", ":"), ElementsAre("a"));
  EXPECT_THAT(SplitOf("a::b", ":", &count), ElementsAre("a", "", "b"));
  EXPECT_EQ(count, 3);
  EXPECT_THAT(SplitOf(":a", ":"), ElementsAre("", "a"));
  EXPECT_THAT(SplitOf("a::", ":"), ElementsAre("a", ""));
  EXPECT_THAT(SplitOf(":", ":"), ElementsAre(""));
}

TEST(SplitTest, MultiCharacterDelimiter) {
  EXPECT_THAT(SplitOf("a::b", "::"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitOf("a::b::", "::"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitOf("a::::b", "::"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitOf("a:b", "::"), ElementsAre("a:b"));
}

// A delimiter that can overlap itself must not swallow text: a partial
// delimiter at the end of the text, or the end of an overlapping run, is
// text of the last field.
TEST(SplitTest, SelfOverlappingDelimiterKeepsAllText) {
  EXPECT_THAT(SplitOf("xa", "aa"), ElementsAre("xa"));
  EXPECT_THAT(SplitOf("a:", "::"), ElementsAre("a:"));
  EXPECT_THAT(SplitOf("aaa", "aa"), ElementsAre("", "a"));
  EXPECT_THAT(SplitOf("a:::", "::"), ElementsAre("a", ":"));
  EXPECT_THAT(SplitOf("a::b::c:::", "::"), ElementsAre("a", "b", "c", ":"));
  EXPECT_THAT(SplitOf("\xFF\xFF", "\xFF\xFF\xFF"), ElementsAre("\xFF\xFF"));
  EXPECT_THAT(SplitOf("aaaa", "aa"), ElementsAre("", ""));

  Fields fields;
  EXPECT_EQ(SplitMax("srv::sg::db:", "::", &fields, 3), 3);
  EXPECT_THAT(fields, ElementsAre("srv", "sg", "db:"));
}

TEST(SplitTest, EmptyDelimiterYieldsWholeText) {
  int count = -1;
  EXPECT_THAT(SplitOf("a:b", "", &count), ElementsAre("a:b"));
  EXPECT_EQ(count, 1);
  EXPECT_THAT(SplitOf("", "", &count), ElementsAre());
  EXPECT_EQ(count, 0);
}

TEST(SplitMaxTest, PadsOrFoldsToMaximum) {
  Fields fields;
  EXPECT_EQ(SplitMax("a;;b;;c", ";;", &fields, 2), 2);
  EXPECT_THAT(fields, ElementsAre("a", "b;;c"));

  fields.clear();
  EXPECT_EQ(SplitMax("srv:sg", ":", &fields, 3), 2);
  EXPECT_THAT(fields, ElementsAre("srv", "sg", ""));

  fields.clear();
  EXPECT_EQ(SplitMax("a:b:c:d", ":", &fields, 3), 3);
  EXPECT_THAT(fields, ElementsAre("a", "b", "c:d"));

  fields.clear();
  EXPECT_EQ(SplitMax("cn=x", "\t", &fields, 2), 1);
  EXPECT_THAT(fields, ElementsAre("cn=x", ""));

  fields.clear();
  EXPECT_EQ(SplitMax("a:b:c", ":", &fields, 3), 3);
  EXPECT_THAT(fields, ElementsAre("a", "b", "c"));

  fields.clear();
  EXPECT_EQ(SplitMax("", ":", &fields, 2), 0);
  EXPECT_THAT(fields, ElementsAre("", ""));

  fields.clear();
  EXPECT_EQ(SplitMax("cn=a,dc=b\tsrv:sg:db", "", &fields, 2), 1);
  EXPECT_THAT(fields, ElementsAre("cn=a,dc=b\tsrv:sg:db", ""));
}

TEST(HasControlCharacterTest, C0DelAndC1ButNotOtherText) {
  for (const std::string& text : {std::string("a@b.org\ndn: x"), std::string("a\tb"),
                                  std::string("a\rb"), std::string("\x7f"), std::string("x\0y", 3),
                                  std::string("a\xc2\x85"
                                              "b"),
                                  std::string("\xc2\x9f")})
    EXPECT_TRUE(HasControlCharacter(text)) << text;
  for (const std::string& text : {std::string(""),
                                  std::string("smtp:Ren\xc3\xa9"
                                              "e@example.com"),
                                  std::string("a\xc2\xa0"
                                              "b"),
                                  std::string("\xc2"), std::string("x400:c=US;a= ;p=Org")})
    EXPECT_FALSE(HasControlCharacter(text)) << text;
}

// A server's text cannot break a line or send a terminal sequence; other
// characters, U+00A0 among them, are kept.
TEST(OneLineTest, ControlCharactersBlankedAndTrailingBlanksGone) {
  EXPECT_EQ(OneLine("a\nb\x1b[2J\xc2\x9b"
                    "1m\xc2\xa0"
                    "c\r\n  "),
            "a b [2J 1m\xc2\xa0"
            "c");
}

}  // namespace
}  // namespace varnel
