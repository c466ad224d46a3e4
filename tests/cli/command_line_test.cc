#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_driver.h"
#include "cli/switch_table.h"
#include "cli/usage_text.h"
#include "exchange/run_settings.h"
#include "support/capture.h"

namespace varnel {
namespace {

struct StageResult {
  std::optional<int32_t> status;  // the exit status of a run that ends at the stage
  RunSettings settings;
  std::string err;
  std::string out;
};

std::string UsageText() {
  std::ostringstream text;
  PrintUsage(text);
  return text.str();
}

class CommandLineTest : public ::testing::Test {
 protected:
  StageResult Run(std::vector<const char*> args) {
    args.insert(args.begin(), "varnel");
    SwitchTable table(static_cast<int>(args.size()), args.data());
    StageResult result;
    const Outcome stage = RunCommandLineStage(reporter_, &table, &result.settings);
    if (!stage.ok()) result.status = ExitStatus(stage);
    result.out = reporter_.TakeOut();
    result.err = reporter_.TakeErr();
    return result;
  }

  // Runs the whole driver and returns its status; stderr lands in `err`.
  static int32_t Drive(std::vector<const char*> args, std::string* err) {
    args.insert(args.begin(), "varnel");
    args.push_back(nullptr);
    int32_t status = 0;
    *err = testing::CapturePrinted([&] {
             status = RunVarnel(static_cast<int>(args.size() - 1), const_cast<char**>(args.data()));
           }).err;
    return status;
  }

  testing::CapturedReporter reporter_;
};

const char kHint[] = "Type Varnel /help or Varnel /? for usage assistance.\n\n";

// The banner's own form is the usage text's test.
TEST_F(CommandLineTest, TheBannerAloneUnlessQuiet) {
  StageResult r = Run({"-upd"});
  EXPECT_EQ(r.status, std::nullopt);
  testing::CapturedReporter banner;
  PrintBanner(banner);
  EXPECT_EQ(r.err, banner.TakeErr());
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(reporter_.quiet());
  EXPECT_FALSE(reporter_.debug());
}

TEST_F(CommandLineTest, QuietAndDebugFlags) {
  StageResult r = Run({"-Q", "-d", "-upd"});
  EXPECT_EQ(r.status, std::nullopt);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(reporter_.quiet());
  EXPECT_TRUE(reporter_.debug());
}

TEST_F(CommandLineTest, BadSwitchesAreReportedWithTheHint) {
  StageResult r = Run({"-q", "-zz", "-aa", "-clear"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            std::string("ERROR: Bad Command Line Arg(s)\nERROR:  aa\nERROR:  zz\n\n\n") + kHint);
}

TEST_F(CommandLineTest, BadSwitchWinsOverHelp) {
  std::string err;
  EXPECT_EQ(Drive({"-zz", "-help"}, &err), 1);
  ASSERT_TRUE(err.starts_with("\nVarnel "));
  EXPECT_TRUE(
      err.ends_with(std::string("\n\nERROR: Bad Command Line Arg(s)\nERROR:  zz\n\n\n") + kHint))
      << err;
  EXPECT_EQ(err.find("Usage:"), std::string::npos);
}

TEST_F(CommandLineTest, LoneDashIsReportedAsEmptyName) {
  StageResult r = Run({"-q", "-"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string("ERROR: Bad Command Line Arg(s)\nERROR:  \n\n\n") + kHint);
}

TEST_F(CommandLineTest, HelpAndEmptyCommandLineShowTheUsage) {
  const std::string usage = UsageText();
  for (const char* help : {"/?", "-?", "/help", "-HELP"}) {
    StageResult r = Run({"-q", help, "-clear"});
    EXPECT_EQ(r.status, 1) << help;
    EXPECT_EQ(r.err, usage) << help;
  }
  std::string err;
  EXPECT_EQ(Drive({}, &err), 1);
  EXPECT_TRUE(err.starts_with("\nVarnel "));
  EXPECT_TRUE(err.ends_with("\n\n" + usage));
}

TEST_F(CommandLineTest, NoActionShowsTheUsage) {
  StageResult r = Run({"-q", "-b", "cn=x", "-safety", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, UsageText());
  StageResult positional_only = Run({"stray"});
  EXPECT_EQ(positional_only.status, 1);
  EXPECT_TRUE(positional_only.err.ends_with(UsageText()));
}

TEST_F(CommandLineTest, DefaultsAndTakenOverValues) {
  StageResult r = Run({"-q", "-upd"});
  ASSERT_EQ(r.status, std::nullopt);
  EXPECT_EQ(r.settings.action, RunAction::Update);
  EXPECT_EQ(r.settings.safety, 10u);
  EXPECT_EQ(r.settings.upto, 0u);
  EXPECT_EQ(r.settings.mdbDelimiter, ":");
  EXPECT_EQ(r.settings.fieldDelimiter, "\t");
  EXPECT_EQ(r.settings.internetEncoding, "1310720");
  EXPECT_FALSE(r.settings.singleDn);
  EXPECT_FALSE(r.settings.continueOnError || r.settings.showElapsed || r.settings.showElapsedMs);

  StageResult all =
      Run({"-q", "-me", "a@example.net", "-h", "dc1", "-b", "cn=x", "-cont", "-elapsed",
           "-elapsedms", "-delim", "#", "-fdelim", ";", "-internetencoding", "917504"});
  ASSERT_EQ(all.status, std::nullopt);
  EXPECT_EQ(all.settings.action, RunAction::MailEnable);
  EXPECT_EQ(all.settings.targetAddress, "a@example.net");
  EXPECT_EQ(all.settings.host, "dc1");
  EXPECT_TRUE(all.settings.singleDn);
  EXPECT_EQ(all.settings.dn, "cn=x");
  EXPECT_TRUE(all.settings.continueOnError && all.settings.showElapsed &&
              all.settings.showElapsedMs);
  EXPECT_EQ(all.settings.mdbDelimiter, "#");
  EXPECT_EQ(all.settings.fieldDelimiter, ";");
  EXPECT_EQ(all.settings.internetEncoding, "917504");
}

TEST_F(CommandLineTest, ActionOptionsAreTypedOnce) {
  StageResult r = Run({"-q", "-upd", "-HFAL", "-quota", ":200:300", "/keepmail"});
  ASSERT_EQ(r.status, std::nullopt);
  EXPECT_TRUE(r.settings.update.hideFromAddressLists);
  EXPECT_FALSE(r.settings.update.unhideFromAddressLists);
  EXPECT_EQ(r.settings.update.quota, (QuotaFigures{-1, 200, 300}));
  EXPECT_TRUE(r.settings.keepMail);
  EXPECT_FALSE(Run({"-q", "-upd"}).settings.update.quota);
}

TEST_F(CommandLineTest, EmptyValues) {
  StageResult r = Run({"-q", "-me", "-fdelim", "-delim"});
  ASSERT_EQ(r.status, std::nullopt);
  EXPECT_EQ(r.settings.action, RunAction::MailEnable);
  EXPECT_EQ(r.settings.targetAddress, "");
  EXPECT_EQ(r.settings.fieldDelimiter, "");
  EXPECT_EQ(r.settings.mdbDelimiter, "");
}

// A switch that means nothing without a value is a bad command line when it
// has none: last, empty, or followed by another switch.
TEST_F(CommandLineTest, ValueRequiredSwitchesWithoutValue) {
  const std::vector<std::vector<const char*>> cases = {
      {"-upd", "-quota"},
      {"-upd", "-quota", "-hfal"},
      {"-upd", "-quota", ""},
      {"-clear", "-safety"},
      {"-clear", "-upto", "-cont"},
      {"-me", "-internetencoding"},
      {"-me", "-internetencoding", ""},
  };
  for (const std::vector<const char*>& args : cases) {
    StageResult r = Run(args);
    EXPECT_EQ(r.status, 1) << args[1];
    const std::string name = std::string(args[1]).substr(1);
    EXPECT_EQ(r.err.substr(r.err.find("ERROR:")),
              "ERROR: Bad Command Line Arg(s)\nERROR:  " + name + "\n\n\n" + kHint)
        << name;
  }
  // Reported in byte order with the unknown switches.
  StageResult both = Run({"-q", "-upd", "-zz", "-quota", "-safety"});
  EXPECT_EQ(both.err, std::string("ERROR: Bad Command Line Arg(s)\nERROR:  quota\nERROR:  safety\n"
                                  "ERROR:  zz\n\n\n") +
                          kHint);
}

TEST_F(CommandLineTest, BadValuesEndTheRunBeforeTheDirectory) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"-safety", "abc"}, "ERROR: Bad value for -safety: abc\n"},
      {{"-safety", "1O0"}, "ERROR: Bad value for -safety: 1O0\n"},
      {{"-safety", "-1"}, "ERROR: Bad value for -safety: -1\n"},
      {{"-upto", "1.5"}, "ERROR: Bad value for -upto: 1.5\n"},
      {{"-upto", "4294967296"}, "ERROR: Bad value for -upto: 4294967296\n"},
      {{"-rate", "x"}, "ERROR: Bad value for -rate: x\n"},
      {{"-internetencoding", "2147483648"}, "ERROR: Bad value for -internetencoding: 2147483648\n"},
      {{"-h", "dc1:abc"}, "ERROR: Bad value for -h: dc1:abc\n"},
      {{"-h", "dc1:0"}, "ERROR: Bad value for -h: dc1:0\n"},
      {{"-h", "dc1:65536"}, "ERROR: Bad value for -h: dc1:65536\n"},
      {{"-h", "ldapi://dc1"}, "ERROR: Bad value for -h: ldapi://dc1\n"},
      {{"-h", "ldaps://"}, "ERROR: Bad value for -h: ldaps://\n"},
      {{"-h", "ldap://:389"}, "ERROR: Bad value for -h: ldap://:389\n"},
      {{"-h", "ldaps://dc1:0"}, "ERROR: Bad value for -h: ldaps://dc1:0\n"},
      {{"-h", "ldaps://dc1:"}, "ERROR: Bad value for -h: ldaps://dc1:\n"},
      {{"-h", "ldap://dc1/dc=x"}, "ERROR: Bad value for -h: ldap://dc1/dc=x\n"},
      {{"-h", "[::1"}, "ERROR: Bad value for -h: [::1\n"},
      {{"-h", "[::1]x"}, "ERROR: Bad value for -h: [::1]x\n"},
      {{"-h", "[::1]:0"}, "ERROR: Bad value for -h: [::1]:0\n"},
      {{"-h", "ldaps://dc1:3269"},
       "ERROR: -h ldaps://dc1:3269 names the global catalog (port 3269), which is read-only; use "
       "the domain controller's port 636 (ldaps://).\n"},
      {{"-me", "a@b.org\ndn: x"},
       "ERROR: Bad value for -me: an address cannot hold a control character\n"},
      {{"-me", "a@b.org\t"},
       "ERROR: Bad value for -me: an address cannot hold a control character\n"},
      {{"-quota", "abc:def:ghi"}, "ERROR: Bad quota values\n"},
      {{"-quota", "1:2:3:4"}, "ERROR: Bad quota values\n"},
      {{"-hfal", "-uhfal"}, "ERROR: -hfal and -uhfal contradict each other; give one of them.\n"},
      // An empty -b would be a run over nothing.
      {{"-b", ""}, "ERROR: Bad value for -b: no DN given\n"},
      {{"-b", "\"\""}, "ERROR: Bad value for -b: no DN given\n"},
      {{"-b", " \t"}, "ERROR: Bad value for -b: no DN given\n"},
      {{"-b", "-cont"}, "ERROR: Bad value for -b: no DN given\n"},
  };
  for (const auto& [extra, line] : cases) {
    std::vector<const char*> args = {"-q", "-upd"};
    args.insert(args.end(), extra.begin(), extra.end());
    StageResult r = Run(args);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_EQ(r.err, line);
    EXPECT_EQ(r.out, "");
  }
  StageResult good = Run({"-q", "-upd", "-h", "dc1:1389", "-internetencoding", "2147483647",
                          "-upto", "4294967295", "-quota", "-1:-1:100", "-rate", "25"});
  EXPECT_EQ(good.status, std::nullopt) << good.err;
  EXPECT_EQ(good.settings.upto, 4294967295u);
  EXPECT_EQ(good.settings.rate, 25u);
  for (const char* uri :
       {"ldaps://dc1.example.com", "LDAP://dc1:1389/", "ldaps://[::1]:636", "[::1]", "[::1]:389"}) {
    StageResult taken = Run({"-q", "-upd", "-h", uri});
    EXPECT_EQ(taken.status, std::nullopt) << taken.err;
    EXPECT_EQ(taken.settings.host, uri);
  }
}

TEST_F(CommandLineTest, FirstActionWins) {
  StageResult clear = Run({"-q", "-cr", "db", "-clear", "-upd"});
  EXPECT_EQ(clear.settings.action, RunAction::Clear);
  EXPECT_EQ(clear.settings.mdbText, "");
  StageResult create = Run({"-q", "-move", "b", "-cr", "srv:sg:db", "-me", "x"});
  EXPECT_EQ(create.settings.action, RunAction::CreateMailbox);
  EXPECT_EQ(create.settings.mdbText, "srv:sg:db");
  StageResult move = Run({"-q", "-move", "CN=DB1", "-me", "x"});
  EXPECT_EQ(move.settings.action, RunAction::MoveMailbox);
  EXPECT_EQ(move.settings.mdbText, "CN=DB1");
  EXPECT_EQ(move.settings.targetAddress, "");
}

TEST_F(CommandLineTest, SafetyAndUpto) {
  struct Case {
    std::vector<const char*> args;
    uint32_t upto;
    uint32_t safety;
  };
  const Case cases[] = {
      {{"-upto", "5"}, 5, kNoSafetyLimit},
      {{"-upto", "50", "-safety", "10"}, 50, 50},
      {{"-upto", "5", "-safety", "10"}, 5, 10},
      {{"-safety", "0"}, 0, 0},
      {{"-unsafe", "-safety", "3"}, 0, kNoSafetyLimit},
      {{"-safety", "007"}, 0, 7},
      {{"-upto", "0"}, 0, 10},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = {"-q", "-clear"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    StageResult r = Run(args);
    ASSERT_EQ(r.status, std::nullopt);
    EXPECT_EQ(r.settings.upto, c.upto) << c.args[0] << " " << c.args.size();
    EXPECT_EQ(r.settings.safety, c.safety) << c.args[0] << " " << c.args.size();
  }
}

}  // namespace
}  // namespace varnel
