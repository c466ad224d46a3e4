#include "cli/switch_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/switch_specs.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;

SwitchTable Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "varnel");
  return SwitchTable(static_cast<int>(args.size()), args.data());
}

TEST(SwitchTableTest, NoArguments) {
  SwitchTable table = Parse({});
  EXPECT_EQ(table.Validate(kVarnelSwitchSpecs), 0);
  EXPECT_EQ(table.SwitchCount(), 0u);
  EXPECT_EQ(table.PositionalCount(), 0u);
}

TEST(SwitchTableTest, PathSwitchesTakeTheNextArgumentWhateverItStartsWith) {
  std::vector<const char*> args = {"varnel",  "-undo",   "/var/tmp/u.ldif", "/REPORT",
                                   "-r.json", "-failed", "/cont",           "-cont"};
  SwitchTable table(static_cast<int>(args.size()), args.data(), kPathSwitches);
  EXPECT_EQ(table.GetValue("undo"), "/var/tmp/u.ldif");
  EXPECT_EQ(table.GetValue("report"), "-r.json");
  EXPECT_EQ(table.GetValue("failed"), "/cont");
  EXPECT_TRUE(table.IsPresent("cont"));
  EXPECT_EQ(table.SwitchCount(), 4u);
  // Without the path list the same arguments are switches.
  EXPECT_FALSE(Parse({"-undo", "/var/tmp/u.ldif"}).GetValue("undo") == "/var/tmp/u.ldif");
}

TEST(SwitchTableTest, ValuesFollowTheirSwitch) {
  SwitchTable table = Parse({"-clear", "-cr", "X", "pos1", "-upto", "-5", "/me", "-b"});
  EXPECT_TRUE(table.IsPresent("clear"));
  EXPECT_EQ(table.GetValue("clear"), "");
  EXPECT_EQ(table.GetValue("cr"), "X");
  EXPECT_EQ(table.GetValue("upto"), "-5");
  EXPECT_TRUE(table.IsPresent("me"));
  EXPECT_TRUE(table.IsPresent("b"));
  EXPECT_EQ(table.GetValue("b"), "");
  EXPECT_FALSE(table.IsPresent("h"));
  EXPECT_EQ(table.GetValue("h"), "");
  EXPECT_EQ(table.SwitchCount(), 5u);
  EXPECT_THAT(table.Positionals(), ElementsAre("pos1"));
}

TEST(SwitchTableTest, SwitchMarkersAndDigits) {
  SwitchTable table = Parse({"/5", "-12", "/HELP", "-Me", "-upto", "3"});
  EXPECT_EQ(table.GetValue("5"), "-12");
  EXPECT_TRUE(table.IsPresent("help"));
  EXPECT_TRUE(table.IsPresent("HeLp"));
  EXPECT_EQ(table.GetValue("me"), "");
  EXPECT_EQ(table.GetValue("UPTO"), "3");
}

TEST(SwitchTableTest, RepeatedSwitchStartsOver) {
  SwitchTable table = Parse({"-safety", "5", "-SAFETY"});
  EXPECT_TRUE(table.IsPresent("safety"));
  EXPECT_EQ(table.GetValue("safety"), "");
  SwitchTable again = Parse({"-h", "a", "-h", "b"});
  EXPECT_EQ(again.GetValue("h"), "b");
  EXPECT_EQ(again.SwitchCount(), 1u);
}

TEST(SwitchTableTest, FlagsGiveUpCapturedValues) {
  SwitchTable table = Parse({"first", "-cont", "7", "-clear", "foo", "-h", "srv"});
  EXPECT_EQ(table.GetValue("cont"), "7");
  EXPECT_EQ(table.Validate(kVarnelSwitchSpecs), 0);
  EXPECT_EQ(table.GetValue("cont"), "");
  EXPECT_TRUE(table.IsPresent("cont"));
  EXPECT_EQ(table.GetValue("h"), "srv");
  EXPECT_THAT(table.Positionals(), ElementsAre("first", "foo", "7"));
}

TEST(SwitchTableTest, BadSwitchesInByteOrder) {
  SwitchTable table = Parse({"-zz", "-mov", "x", "-aa", "-cr", "db"});
  EXPECT_EQ(table.Validate(kVarnelSwitchSpecs), 3);
  EXPECT_THAT(table.BadSwitches(), ElementsAre("aa", "mov", "zz"));
  EXPECT_EQ(table.BadSwitchCount(), 3u);
  EXPECT_EQ(table.MissingSwitchCount(), 0u);
  EXPECT_EQ(table.PositionalCount(), 0u);
}

TEST(SwitchTableTest, LoneMarkerIsAnEmptyBadSwitch) {
  SwitchTable table = Parse({"-", "after"});
  EXPECT_TRUE(table.IsPresent(""));
  EXPECT_THAT(table.Positionals(), ElementsAre("after"));
  EXPECT_EQ(table.Validate(kVarnelSwitchSpecs), 1);
  EXPECT_THAT(table.BadSwitches(), ElementsAre(""));
}

TEST(SwitchTableTest, RequiredSwitches) {
  const std::vector<std::string_view> accepted = {":^must", "^need", "opt", ":Flag"};
  SwitchTable table = Parse({"-need", "v", "-flag"});
  EXPECT_EQ(table.Validate(accepted), 1);
  EXPECT_THAT(table.MissingSwitches(), ElementsAre("must"));
  EXPECT_TRUE(table.BadSwitches().empty());

  SwitchTable none = Parse({"-x"});
  EXPECT_EQ(none.Validate(accepted), 3);
  EXPECT_THAT(none.MissingSwitches(), ElementsAre("must", "need"));
  EXPECT_THAT(none.BadSwitches(), ElementsAre("x"));
}

TEST(SwitchTableTest, ToleratesMissingVector) {
  SwitchTable table(3, nullptr);
  EXPECT_EQ(table.SwitchCount(), 0u);
}

}  // namespace
}  // namespace varnel
