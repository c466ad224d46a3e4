#include "cli/dn_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "exchange/run_settings.h"
#include "ldap/ldif_record.h"
#include "platform/stop_request.h"
#include "support/capture.h"

namespace varnel {
namespace {

class DnInputTest : public ::testing::Test {
 protected:
  std::vector<WorkItem> Collect(const std::string& input) {
    std::istringstream in(input);
    WorkList list = CollectWorkItems(reporter_, settings, in);
    skipped = list.skipped.size();
    return list.items;
  }

  // The DNs of the items, in order.
  std::vector<std::string> Dns(const std::string& input) {
    std::vector<std::string> found;
    for (const WorkItem& item : Collect(input)) found.push_back(item.dn);
    return found;
  }

  testing::CapturedReporter reporter_;
  RunSettings settings;
  size_t skipped = 0;
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
      "\"\"\n"
      "\"\n"
      "\t\n"
      "\"\"\t\"srv\"\n"
      "last-without-newline");
  // A DN that is empty or blank once its quotes are gone names no object (it
  // would be the RootDSE): such a line is skipped as an empty line is.
  EXPECT_EQ(skipped, 0u);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].dn, "cn=alice smith,ou=staff,dc=x");
  EXPECT_EQ(items[0].overrideText, "srv2:sg1:db3");
  EXPECT_EQ(items[0].lineNumber, 1u);
  EXPECT_EQ(items[1].dn, "cn=missing,dc=x");
  EXPECT_EQ(items[1].lineNumber, 3u);
  EXPECT_EQ(items[2].dn, "last-without-newline");
  EXPECT_EQ(items[2].lineNumber, 10u);
}

TEST_F(DnInputTest, SingleDnModeReadsNoInputAndKeepsTabs) {
  settings.singleDn = true;
  settings.dn = "\"cn=ALICE SMITH,ou=staff,dc=x\"";
  std::istringstream in("cn=other\n");
  std::vector<WorkItem> items = CollectWorkItems(reporter_, settings, in).items;
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].dn, "cn=ALICE SMITH,ou=staff,dc=x");
  EXPECT_EQ(items[0].lineNumber, 0u);
  EXPECT_EQ(in.tellg(), 0);
  settings.dn = "a\tb";
  EXPECT_EQ(CollectWorkItems(reporter_, settings, in).items[0].dn, "a\tb");
  for (const char* empty : {"\"\"", " \t "}) {
    settings.dn = empty;
    EXPECT_TRUE(CollectWorkItems(reporter_, settings, in).items.empty());
  }
}

TEST_F(DnInputTest, QuoteEscapedByBackslashIsPartOfTheDn) {
  settings.singleDn = true;
  settings.dn = "CN=Dup\\\"\\\"";
  EXPECT_EQ(Collect("")[0].dn, "CN=Dup\\\"\\\"");
  settings.singleDn = false;
  std::vector<WorkItem> items = Collect("\"CN=Dup\\\"\\\",DC=x\"\t\"a\\\"b\"\n\"CN=x\\\\\"\n");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].dn, "CN=Dup\\\"\\\",DC=x");
  EXPECT_EQ(items[0].overrideText, "a\\\"b");
  EXPECT_EQ(items[1].dn, "CN=x\\\\");  // an escaped backslash does not escape the quote
}

TEST_F(DnInputTest, EmptyInputGivesNoItems) { EXPECT_TRUE(Collect("").empty()); }

TEST_F(DnInputTest, OverlongLineSkippedWithWarningAndNextLineRead) {
  std::string atLimit(kLineBufferSize - 2, 'a');  // fits with its line feed
  std::string tooLong(kLineBufferSize - 1, 'b');  // fills the buffer with its line feed
  std::vector<WorkItem> items =
      Collect(atLimit + "\n" + tooLong + "\n" + std::string(1 << 20, 'c') + "\nnext\n" +
              std::string(kLineBufferSize - 1, 'd'));
  std::string err = reporter_.TakeErr();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(skipped, 2u);
  EXPECT_EQ(items[0].dn, atLimit);
  EXPECT_EQ(items[1].dn, "next");
  EXPECT_EQ(items[2].dn.size(), kLineBufferSize - 1);  // a last line without line feed
  EXPECT_EQ(err,
            "WARN: Skipped an input line longer than 10239 characters.\n"
            "WARN: Skipped an input line longer than 10239 characters.\n");
}

TEST_F(DnInputTest, LineWithNulByteIsSkippedWithWarning) {
  std::vector<WorkItem> items = Collect(std::string("cn=a\0b,dc=x\ncn=c\n", 17));
  EXPECT_EQ(reporter_.TakeErr(), "WARN: Skipped an input line holding a NUL byte.\n");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(items[0].dn, "cn=c");
  EXPECT_EQ(items[0].lineNumber, 2u);
}

// The same list as Windows tools write it: UTF-8 with a byte-order mark and
// CR LF, UTF-16 LE and BE with a byte-order mark.
TEST_F(DnInputTest, ByteOrderMarksAndUtf16) {
  const std::vector<std::string> expected = {"cn=J\xC3\xBCrgen,dc=x", "cn=\xF0\x9F\x98\x80,dc=x"};
  EXPECT_EQ(Dns("\xEF\xBB\xBF" + expected[0] + "\r\n" + expected[1] + "\r\n"), expected);
  auto utf16 = [](const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
      const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
  };
  const std::u16string wide = u"cn=J\u00FCrgen,dc=x\r\ncn=\U0001F600,dc=x\r\n";
  EXPECT_EQ(Dns(utf16(wide, false)), expected);
  EXPECT_EQ(Dns(utf16(wide, true)), expected);
  EXPECT_EQ(skipped, 0u);

  // A lone surrogate, a NUL unit and a trailing odd byte are skipped lines.
  std::vector<WorkItem> items =
      Collect(utf16(u"cn=a\n\xD800x\ncn=b\n", false) +
              utf16(std::u16string(u"n\0l\n", 4), false).substr(2) + "\x41");
  const std::string err = reporter_.TakeErr();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].dn, "cn=b");
  EXPECT_EQ(items[1].lineNumber, 3u);
  EXPECT_EQ(skipped, 3u);
  EXPECT_EQ(err,
            "WARN: Skipped input line 2, which is not valid UTF-16.\n"
            "WARN: Skipped an input line holding a NUL byte.\n"
            "WARN: Skipped input line 5, which is not valid UTF-16.\n");
  // Bytes that only start like a mark are text.
  EXPECT_EQ(Dns("\xEF\xBBx\n"), std::vector<std::string>{"\xEF\xBBx"});
}

TEST_F(DnInputTest, DebugShowsFieldsAsRead) {
  reporter_.Configure({false, true});
  Collect("\"cn=q\"\t\"d\"\n");
  EXPECT_EQ(reporter_.TakeOut(),
            "DEBUG: Reading from STDIN...\nDEBUG: DN   - \"cn=q\"\nDEBUG: DATA - \"d\"\n");
}

// ldapsearch output: a version line, comments (folded as well), a DN
// folded across lines, a base64 DN, attributes, CR LF, no final line feed.
TEST_F(DnInputTest, LdifRecordsGiveTheirDnsFromTheirFirstLines) {
  const std::string longDn =
      "CN=A rather long common name for one person,OU=Sales and Marketing,OU=Staff,DC=example,"
      "DC=com";
  std::vector<WorkItem> items = Collect(
      "\n"
      "version: 1\n"
      "\n"
      "# alice, a comment\n"
      "  folded onto a second line\n"
      "dn: " +
      longDn.substr(0, 72) + "\n " + longDn.substr(72) +
      "\n"
      "objectClass: user\n"
      "\n"
      "\n"
      "dn:: Q049SsO8cmdlbixEQz14\n"  // CN=Jürgen,DC=x
      "cn: J\xC3\xBCrgen\r\n"
      "\r\n"
      "dn: CN=\"quoted\"\tx,DC=x\n"
      "changetype: delete\n"
      "\n"
      "dn: CN=last,DC=x");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(items[0].dn, longDn);
  EXPECT_EQ(items[0].lineNumber, 6u);
  EXPECT_EQ(items[1].dn, "CN=J\xC3\xBCrgen,DC=x");
  EXPECT_EQ(items[1].lineNumber, 11u);
  // The DN stands as written: no quote is removed, a TAB is no delimiter.
  EXPECT_EQ(items[2].dn, "CN=\"quoted\"\tx,DC=x");
  EXPECT_EQ(items[2].overrideText, "");
  EXPECT_EQ(items[2].lineNumber, 14u);
  EXPECT_EQ(items[3].dn, "CN=last,DC=x");
  EXPECT_EQ(items[3].lineNumber, 17u);
  // To be run again, an item is a record of its own.
  EXPECT_EQ(items[3].inputLine, "dn: CN=last,DC=x\n");
  EXPECT_EQ(items[1].inputLine, "dn:: Q049SsO8cmdlbixEQz14\n");
}

TEST_F(DnInputTest, OnlyTheFirstLineThatIsNotEmptyChoosesLdif) {
  EXPECT_EQ(Dns("\n\nDN: CN=a,DC=x\n"), std::vector<std::string>{"CN=a,DC=x"});
  // Plain lists keep their meaning, whatever their later lines hold.
  EXPECT_EQ(Dns("CN=a,DC=x\ndn: CN=b,DC=x\n"),
            (std::vector<std::string>{"CN=a,DC=x", "dn: CN=b,DC=x"}));
  EXPECT_EQ(Dns(" dn: CN=a,DC=x\n"), std::vector<std::string>{" dn: CN=a,DC=x"});
  EXPECT_EQ(Dns("CN=dn:x,DC=x\n"), std::vector<std::string>{"CN=dn:x,DC=x"});
}

TEST_F(DnInputTest, LdifRecordsThatCannotBeTakenAreSkippedWithWarnings) {
  std::vector<WorkItem> items = Collect(
      "dn: CN=a,DC=x\n"
      "\n"
      "cn: no dn here\n"
      "\n"
      "dn:: !!!not base64\n"
      "\n"
      "dn: CN=b,DC=x\n"
      "description: " +
      std::string(kLineBufferSize, 'x') +
      "\n"
      "\n"
      "dn: CN=c,DC=x\n" +
      std::string("cn: c\0d\n", 8) +
      "\n"
      "dn:: Q049YQBiLERDPXg=\n"  // CN=a, NUL, b,DC=x
      "\n"
      "version: 1\n"
      "\n"
      "dn: CN=y,DC=x\n"
      ":no name\n"
      "\n"
      "dn: CN=y,DC=x\n"
      "\t: no name after a TAB\n"
      "\n"
      "dn: CN=y,DC=x\n"
      "-\n"
      "\n"
      "dn: CN=m,DC=x\n"  // the separator of a modify record is no fault
      "changetype: modify\n"
      "replace: cn\n"
      "-\n"
      "\n"
      "dn: CN=z,DC=x\n");
  const std::string err = reporter_.TakeErr();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].dn, "CN=a,DC=x");
  EXPECT_EQ(items[1].dn, "CN=m,DC=x");
  EXPECT_EQ(items[2].dn, "CN=z,DC=x");
  EXPECT_EQ(items[2].lineNumber, 31u);
  EXPECT_EQ(err,
            "WARN: Skipped the LDIF record at line 3, which has no dn: line.\n"
            "WARN: Skipped the LDIF record at line 5, which is not valid LDIF.\n"
            "WARN: Skipped an input line longer than 10239 characters.\n"
            "WARN: Skipped the LDIF record at line 7, which holds a line that was skipped.\n"
            "WARN: Skipped an input line holding a NUL byte.\n"
            "WARN: Skipped the LDIF record at line 10, which holds a line that was skipped.\n"
            "WARN: Skipped the LDIF record at line 13, whose DN holds a NUL byte.\n"
            "WARN: Skipped the LDIF record at line 15, which has no dn: line.\n"
            "WARN: Skipped the LDIF record at line 17, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 20, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 23, which is not valid LDIF.\n");
  EXPECT_EQ(skipped, 11u);
}

TEST_F(DnInputTest, LdifIndexLineBeforeARecordIsPassedOver) {
  std::vector<WorkItem> items =
      Collect("dn: CN=a,DC=x\n\n6\n\n# c\n7\ndn: CN=b,DC=x\n\n8 x:\n y\ndn: CN=c,DC=x\n");
  EXPECT_EQ(reporter_.TakeErr(),
            "WARN: Skipped the LDIF record at line 3, which has no dn: line.\n");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].dn, "CN=b,DC=x");
  EXPECT_EQ(items[1].lineNumber, 7u);
  EXPECT_EQ(items[2].dn, "CN=c,DC=x");  // the index line's folded lines go with it
  EXPECT_EQ(items[2].lineNumber, 11u);
}

// Nothing a record names is read: the record is not valid in a DN list.
TEST_F(DnInputTest, LdifRecordsNamingFilesOrUrlsAreSkippedUnread) {
  const std::filesystem::path named =
      std::filesystem::temp_directory_path() / ("varnel-ldif-" + std::to_string(::getpid()));
  std::ofstream(named) << "dn: CN=included,DC=x\n";
  std::string input =
      "dn: CN=a,DC=x\n\ninclude: URL\n\ndn: CN=b,DC=x\ndescription:< URL\n\ndn:<URL\n\n"
      "dn: CN=c,DC=x\ndescription:\n < URL\n\ndn: CN=d,DC=x\nInclude : URL\n\ndn: CN=z,DC=x\n";
  for (size_t at = input.find("URL"); at != std::string::npos; at = input.find("URL", at))
    input.replace(at, 3, "file://" + named.string());
  const std::vector<std::string> dns = Dns(input);
  const std::string err = reporter_.TakeErr();
  std::filesystem::remove(named);
  EXPECT_EQ(dns, (std::vector<std::string>{"CN=a,DC=x", "CN=z,DC=x"}));
  EXPECT_EQ(err,
            "WARN: Skipped the LDIF record at line 3, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 5, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 8, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 10, which is not valid LDIF.\n"
            "WARN: Skipped the LDIF record at line 14, which is not valid LDIF.\n");
}

// A folded line is held, once joined, to what a line with its line feed may hold.
TEST_F(DnInputTest, LdifFoldedLinesAreJoinedUpToTheLineLimit) {
  auto folded = [](const std::string& line) {
    std::string text = line.substr(0, 76);
    for (size_t at = 76; at < line.size(); at += 75) text += "\n " + line.substr(at, 75);
    return text + "\n";
  };
  const std::string fits(kLineBufferSize - 2 - 4, 'a');  // after "dn: "
  std::vector<WorkItem> items =
      Collect("dn: CN=b,DC=x\n" + folded("description: " + std::string(kLineBufferSize - 14, 'x')) +
              "cn: b\n\n" + folded("dn: " + fits) + "\ndn: CN=z,DC=x\n" +
              folded("description: " + std::string(1 << 20, 'y')));
  EXPECT_EQ(reporter_.TakeErr(),
            "WARN: Skipped an input line longer than 10239 characters.\n"
            "WARN: Skipped the LDIF record at line 1, which holds a line that was skipped.\n"
            "WARN: Skipped an input line longer than 10239 characters.\n"
            "WARN: Skipped the LDIF record at line 279, which holds a line that was skipped.\n");
  EXPECT_EQ(skipped, 4u);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].dn, fits);
}

// A -whatif plan read back: modify records with their "-" lines, values in
// base64, DNs folded.
TEST_F(DnInputTest, LdifModifyRecordsGiveTheirDns) {
  const std::string dn = "CN=" + std::string(90, 'm') + ",DC=x";
  const std::vector<LdapModification> mods = {
      {LdapModification::Op::kReplace, "mail", {"m@example.com"}},
      {LdapModification::Op::kDelete, "proxyAddresses", {}},
      {LdapModification::Op::kReplace, "msExchMailboxGuid", {std::string("\0\xFF", 2)}}};
  const auto binary = [](const std::string&) { return false; };
  const std::string plan =
      LdifModifyRecord(dn, mods, binary) + LdifModifyRecord("CN=J\xC3\xBCrgen,DC=x", mods, binary);
  ASSERT_NE(plan.find("\n "), std::string::npos) << plan;
  EXPECT_EQ(Dns(plan), (std::vector<std::string>{dn, "CN=J\xC3\xBCrgen,DC=x"}));
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(
      Dns("dn: CN=a,DC=x\r\ncontrol: 1.2.3\r\nchangetype: modify\r\nadd: cn\r\ncn: a\r\n-\r\n"),
      std::vector<std::string>{"CN=a,DC=x"});
}

// Input as /dev/zero gives it: one endless line of NUL bytes (it ends after
// 50 reads, so that a reader that misses the stop fails instead of hanging).
class EndlessInput : public std::streambuf {
 public:
  int reads = 0;

 protected:
  int_type underflow() override {
    if (++reads > 50) return traits_type::eof();
    setg(block_, block_, block_ + sizeof block_);
    return 0;
  }

 private:
  char block_[4096] = {};
};

// Asked once the input has been read three times.
class StopAfterReads : public StopRequest {
 public:
  explicit StopAfterReads(const EndlessInput& input) : input_(input) {}
  int Signal() const override { return input_.reads >= 3 ? 15 : 0; }
  uint32_t AskedAt() const override { return 0; }

 private:
  const EndlessInput& input_;
};

TEST_F(DnInputTest, AStopEndsTheReadingOfAnEndlessLine) {
  EndlessInput endless;
  std::istream in(&endless);
  const StopAfterReads stop(endless);
  const WorkList list = CollectWorkItems(reporter_, settings, in, &stop);
  EXPECT_EQ(reporter_.TakeErr(), "");  // the line cut short is no line to warn about
  EXPECT_TRUE(list.items.empty());
  EXPECT_TRUE(list.skipped.empty());
  EXPECT_EQ(endless.reads, 3);
}

TEST(CheckSafetyTest, CountAndLimit) {
  testing::CapturedReporter reporter;
  testing::CapturedReporter quiet({.quiet = true});
  EXPECT_TRUE(CheckSafety(reporter, 10, 10));
  EXPECT_EQ(reporter.TakeOut(), "DN Count: 10\n");
  EXPECT_TRUE(CheckSafety(quiet, 0, 10));
  EXPECT_FALSE(CheckSafety(quiet, 1, 0));
  EXPECT_EQ(quiet.TakeOut(),
            "\nMore DNs than allowed for by safety setting of 0\n"
            "Use safety parameter to specify larger safety size.\n\n"
            "The command did not complete successfully\n");
  EXPECT_TRUE(CheckSafety(quiet, 100000, 0xFFFFFFFF));
}

}  // namespace
}  // namespace varnel
