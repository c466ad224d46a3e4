#include "cli/dn_input.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/run_settings.h"
#include "diag/console.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

using varnel::testing::FakeLdapConnection;

class DnInputTest : public ::testing::Test {
 protected:
  void SetUp() override { session.AddEntry("CN=Alice Smith,OU=Staff,DC=x", {}); }
  void TearDown() override { SetConsoleFlags({}); }

  std::vector<WorkItem> Collect(const std::string& input) {
    std::istringstream in(input);
    return CollectWorkItems(session, settings, in);
  }

  FakeLdapConnection session;
  RunSettings settings;
};

TEST(SplitInputLineTest, FieldRules) {
  auto split = [](const std::string& line, const std::string& delim = "\t") {
    InputLine f = SplitInputLine(line, delim);
    return f.dnField + "|" + f.dataField;
  };
  EXPECT_EQ(split("cn=a,dc=b"), "cn=a,dc=b|");
  EXPECT_EQ(split("a\tb\tc"), "a|b\tc");
  EXPECT_EQ(split("a\tb\t"), "a|b");
  EXPECT_EQ(split("\tb"), "|b");
  EXPECT_EQ(split("a;srv:sg:db", ";"), "a|srv:sg:db");
  EXPECT_EQ(split("a;;b;;c", ";;"), "a|b;;c");
  EXPECT_EQ(split("a\tb", ""), "a\tb|");
  // A delimiter that overlaps itself loses no text at the end of a field.
  EXPECT_EQ(split("cn=b|,dc=x|", "||"), "cn=b|,dc=x||");
  EXPECT_EQ(split("cn=a||srv|", "||"), "cn=a|srv|");
  EXPECT_EQ(split("cn=a|||srv", "||"), "cn=a||srv");
}

TEST_F(DnInputTest, LinesBecomeItemsInOrderWithQuotesRemoved) {
  std::vector<WorkItem> items = Collect(
      "\"cn=alice smith,ou=staff,dc=x\"\t\"srv2:sg1:db3\"\n"
      "\n"
      "cn=miss\"ing,dc=x\r\n"
      "   \n"
      "\tonly-data\n"
      "last-without-newline");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].dn, "CN=Alice Smith,OU=Staff,DC=x");
  EXPECT_EQ(items[0].overrideText, "srv2:sg1:db3");
  EXPECT_EQ(items[1].dn, "cn=missing,dc=x");
  EXPECT_EQ(items[2].dn, "   ");
  EXPECT_EQ(items[3].dn, "");
  EXPECT_EQ(items[3].overrideText, "only-data");
  EXPECT_EQ(items[4].dn, "last-without-newline");
}

TEST_F(DnInputTest, SingleDnModeReadsNoInputAndKeepsTabs) {
  settings.singleDn = true;
  settings.dn = "\"cn=ALICE SMITH,ou=staff,dc=x\"";
  std::istringstream in("cn=other\n");
  std::vector<WorkItem> items = CollectWorkItems(session, settings, in);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].dn, "CN=Alice Smith,OU=Staff,DC=x");
  EXPECT_EQ(in.tellg(), 0);
  settings.dn = "a\tb";
  EXPECT_EQ(CollectWorkItems(session, settings, in)[0].dn, "a\tb");
}

TEST_F(DnInputTest, EmptyInputGivesNoItems) { EXPECT_TRUE(Collect("").empty()); }

TEST_F(DnInputTest, OverlongLineSkippedWithWarningAndNextLineRead) {
  std::string atLimit(kLineBufferSize - 2, 'a');  // fits with its line feed
  std::string tooLong(kLineBufferSize - 1, 'b');  // fills the buffer with its line feed
  CaptureStderr();
  std::vector<WorkItem> items =
      Collect(atLimit + "\n" + tooLong + "\n" + std::string(1 << 20, 'c') + "\nnext\n" +
              std::string(kLineBufferSize - 1, 'd'));
  std::string err = GetCapturedStderr();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].dn, atLimit);
  EXPECT_EQ(items[1].dn, "next");
  EXPECT_EQ(items[2].dn.size(), kLineBufferSize - 1);  // a last line without line feed
  EXPECT_EQ(err,
            "WARN: Skipped an input line longer than 10239 characters.\n"
            "WARN: Skipped an input line longer than 10239 characters.\n");
}

TEST_F(DnInputTest, LineWithNulByteIsSkippedWithWarning) {
  CaptureStderr();
  std::vector<WorkItem> items = Collect(std::string("cn=a\0b,dc=x\ncn=c\n", 17));
  EXPECT_EQ(GetCapturedStderr(), "WARN: Skipped an input line holding a NUL byte.\n");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].dn, "cn=c");
}

TEST_F(DnInputTest, DebugShowsFieldsAsRead) {
  SetConsoleFlags({false, true});
  CaptureStdout();
  Collect("\"cn=q\"\t\"d\"\n");
  EXPECT_EQ(GetCapturedStdout(),
            "DEBUG: Reading from STDIN...\nDEBUG: DN   - \"cn=q\"\nDEBUG: DATA - \"d\"\n");
}

TEST(CheckSafetyTest, CountAndLimit) {
  CaptureStdout();
  EXPECT_TRUE(CheckSafety(10, 10, false));
  EXPECT_TRUE(CheckSafety(0, 10, true));
  EXPECT_EQ(GetCapturedStdout(), "DN Count: 10\n");
  CaptureStdout();
  EXPECT_FALSE(CheckSafety(1, 0, true));
  EXPECT_EQ(GetCapturedStdout(),
            "\nMore DNs than allowed for by safety setting of 0\n"
            "Use safety parameter to specify larger safety size.\n\n"
            "The command did not complete successfully\n");
  EXPECT_TRUE(CheckSafety(100000, 0xFFFFFFFF, true));
}

}  // namespace
}  // namespace varnel
