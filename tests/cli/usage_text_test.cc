#include "cli/usage_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/switch_specs.h"
#include "support/capture.h"

namespace varnel {
namespace {

std::string CapturedUsage() {
  std::ostringstream out;
  PrintUsage(out);
  return out.str();
}

TEST(UsageTextTest, FramesTheText) {
  const std::string usage = CapturedUsage();
  EXPECT_TRUE(
      usage.starts_with("Usage:\n varnel [switches]\n\n  Switches: (designated by - or /)\n"
                        "   -h host    Host to use, use default LDAP server\n"));
  EXPECT_TRUE(usage.ends_with("\n\n"));
  EXPECT_FALSE(usage.ends_with("\n\n\n"));
  const size_t last_line = usage.rfind('\n', usage.size() - 3);
  EXPECT_EQ(usage[last_line + 1], ' ');
  EXPECT_NE(usage.find('@', last_line), std::string::npos);
}

TEST(UsageTextTest, ExamplesSkipSeven) {
  const std::string usage = CapturedUsage();
  size_t previous = 0;
  for (const char* label :
       {"  Ex1:\n", "  Ex2:\n", "  Ex3:\n", "  Ex4:\n", "  Ex5:\n", "  Ex6:\n", "  Ex8:\n"}) {
    const size_t at = usage.find(label);
    ASSERT_NE(at, std::string::npos) << label;
    EXPECT_GT(at, previous) << label;
    previous = at;
  }
  EXPECT_EQ(usage.find("Ex7"), std::string::npos);
  EXPECT_NE(usage.find("\n    varnel -b cn=gr1,"), std::string::npos);
  EXPECT_NE(usage.find(" -me \n      Mail Enable group gr1\n"), std::string::npos);
}

// The pipeline shown is the one that keeps folded and base64 DNs: LDIF
// straight in, no sed cutting the dn: lines.
TEST(UsageTextTest, ShowsTheLdifPipeline) {
  const std::string usage = CapturedUsage();
  EXPECT_EQ(usage.find("| sed"), std::string::npos);
  EXPECT_NE(usage.find("1.1 | varnel -upto 100 -cr s1:sg1:db1\n"), std::string::npos);
}

TEST(UsageTextTest, ListsEverySwitchTheCommandLineTakes) {
  const std::string usage = CapturedUsage();
  for (std::string_view spec : kVarnelSwitchSpecs) {
    const std::string name(spec.starts_with(':') ? spec.substr(1) : spec);
    const bool listed = usage.find(" -" + name + " ") != std::string::npos ||
                        usage.find(" -" + name + ",") != std::string::npos;
    EXPECT_TRUE(listed) << name;
  }
}

TEST(UsageTextTest, HintAndBanner) {
  testing::CapturedReporter reporter;
  PrintHint(reporter);
  EXPECT_EQ(reporter.TakeErr(), "Type Varnel /help or Varnel /? for usage assistance.\n\n");
  PrintBanner(reporter);
  const std::string banner = reporter.TakeErr();
  EXPECT_TRUE(banner.starts_with("\nVarnel V01.03.00cpp "));
  EXPECT_TRUE(banner.ends_with(" December 2004\n\n"));
  EXPECT_EQ(banner.find('\n', 1), banner.size() - 2);
}

}  // namespace
}  // namespace varnel
