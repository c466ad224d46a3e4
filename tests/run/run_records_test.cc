// The run's records on a file system that fails: the undo journal's
// value-exact records and their group commit, and the report and failed
// lines say when they can no longer be kept.
#include "run/run_records.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "actions/action.h"
#include "diag/reporter.h"
#include "support/fake_file_system.h"

namespace varnel {
namespace {

using testing::FakeFileSystem;

ObjectRead Read(const std::string& dn, std::vector<LdapAttribute> attributes) {
  ObjectRead read;
  read.entry.dn = dn;
  read.entry.attributes = std::move(attributes);
  return read;
}

ObjectRead Read(const std::string& dn, const std::string& mail) {
  return Read(dn, {{"mail", {mail}}});
}

ObjectPlan ClearMail(const std::string& dn) {
  return {dn, {{LdapModification::Op::kDelete, "mail", {}}}, ObjectPlan::Writer::kLdap};
}

ObjectPlan Set(const std::string& dn, const std::string& type, std::vector<std::string> values) {
  return {
      dn, {{LdapModification::Op::kReplace, type, std::move(values)}}, ObjectPlan::Writer::kLdap};
}

class RunRecordsTest : public ::testing::Test {
 protected:
  FakeFileSystem files;
  std::ostringstream out;
  std::ostringstream err;
  Reporter reporter{out, err};
  ItemLines lines;  // what the undo journal adds to an item's lines
};

TEST_F(RunRecordsTest, AnUndoRecordDeletesTheValuesWrittenAndAddsBackTheOldOnes) {
  UndoJournal journal(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  // Values replaced; an attribute the object lacked; one the change removed.
  const ObjectPlan plan{"CN=a",
                        {{LdapModification::Op::kReplace, "mail", {"b@x", "c@x"}},
                         {LdapModification::Op::kReplace, "extensionAttribute1", {"new"}},
                         {LdapModification::Op::kDelete, "authOrig", {}}},
                        ObjectPlan::Writer::kLdap};
  ASSERT_TRUE(
      journal.Record(lines, plan, Read("CN=a", {{"mail", {"a@x"}}, {"authOrig", {"CN=o"}}})).ok());
  // A binary value stays base64, printable or not.
  ASSERT_TRUE(journal
                  .Record(lines, Set("CN=b", "msExchMailboxGuid", {"new"}),
                          Read("CN=b", {{"msExchMailboxGuid", {"abc"}}}))
                  .ok());
  EXPECT_EQ(files.Contents("undo.ldif"),
            "dn: CN=a\nchangetype: modify\n"
            "delete: mail\nmail: b@x\nmail: c@x\n-\nadd: mail\nmail: a@x\n-\n"
            "delete: extensionAttribute1\nextensionAttribute1: new\n-\n"
            "add: authOrig\nauthOrig: CN=o\n-\n\n"
            "dn: CN=b\nchangetype: modify\n"
            "delete: msExchMailboxGuid\nmsExchMailboxGuid:: bmV3\n-\n"
            "add: msExchMailboxGuid\nmsExchMailboxGuid:: YWJj\n-\n\n");
  EXPECT_EQ(files.Durable("undo.ldif"), "") << "on disk only with Sync";
  ASSERT_TRUE(journal.Sync(lines).ok());
  EXPECT_EQ(files.Durable("undo.ldif"), files.Contents("undo.ldif"));
}

// Replayed in file order, an object's earlier record runs first: the later
// record is made for what the earlier one leaves of this change.
TEST_F(RunRecordsTest, TheLaterRecordOfAnObjectMetAgainRestoresItAfterTheEarlierOnes) {
  UndoJournal journal(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  ASSERT_TRUE(journal.Record(lines, Set("CN=a", "mail", {"b@x"}), Read("CN=a", "a@x")).ok());
  const size_t first = files.Contents("undo.ldif").size();
  // Another attribute: the earlier record restores mail, this one the rest.
  ASSERT_TRUE(journal
                  .Record(lines, Set("CN=a", "extensionAttribute1", {"x"}),
                          Read("CN=a", {{"mail", {"b@x"}}}))
                  .ok());
  EXPECT_EQ(files.Contents("undo.ldif").substr(first),
            "dn: CN=a\nchangetype: modify\n"
            "delete: extensionAttribute1\nextensionAttribute1: x\n-\n\n");
  const size_t second = files.Contents("undo.ldif").size();
  // The same attribute again: replayed, the first record is refused (b@x
  // is gone) and the second still removes extensionAttribute1, so this one
  // takes mail from c@x back to before the run.
  ASSERT_TRUE(journal
                  .Record(lines, Set("CN=a", "mail", {"c@x"}),
                          Read("CN=a", {{"mail", {"b@x"}}, {"extensionAttribute1", {"x"}}}))
                  .ok());
  EXPECT_EQ(files.Contents("undo.ldif").substr(second),
            "dn: CN=a\nchangetype: modify\n"
            "delete: mail\nmail: c@x\n-\nadd: mail\nmail: a@x\n-\n\n");
}

TEST_F(RunRecordsTest, AFullDiskBreaksTheJournalAndLeavesNoHalfRecord) {
  UndoJournal journal(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  ASSERT_TRUE(journal.Record(lines, ClearMail("CN=a"), Read("CN=a", "a@x")).ok());
  const std::string kept = files.Contents("undo.ldif");
  files.FailWrite(1, 5);
  EXPECT_FALSE(journal.Record(lines, ClearMail("CN=b"), Read("CN=b", "b@x")).ok());
  EXPECT_TRUE(journal.broken());
  EXPECT_EQ(files.Contents("undo.ldif"), kept);
  EXPECT_NE(lines.err().find("ERROR: Cannot write the undo file undo.ldif: "), std::string::npos);
  // Nothing more may be recorded, so nothing more may be sent.
  EXPECT_FALSE(journal.Record(lines, ClearMail("CN=c"), Read("CN=c", "c@x")).ok());
  EXPECT_FALSE(journal.Sync(lines).ok());
}

TEST_F(RunRecordsTest, AReportOrFailedFileThatCannotBeWrittenFailsTheItemsRecord) {
  RunRecords records;
  records.report = std::make_unique<ItemReport>(files.OpenRecordFile("run.json"));
  records.failedLines = files.OpenRecordFile("rest.txt");
  const WorkItem a{"CN=a", "", 1, "CN=a"};
  const WorkItem b{"CN=b", "", 2, "CN=b"};
  ASSERT_TRUE(records.ItemEnded(reporter, a, NotProcessed()).ok());
  files.SetFreeSpace(0);
  const Outcome failed = records.ItemEnded(reporter, b, NotProcessed());
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(ExitStatus(failed), 255);
  EXPECT_NE(err.str().find("ERROR: Cannot write the report file run.json: " +
                           std::string(std::strerror(ENOSPC)) + "\n"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(files.Contents("rest.txt"), "CN=a\n");  // whole lines only
}

// The report's write fails alone: the lines to run again still get every
// item that did not succeed, and the report's error line comes once.
TEST_F(RunRecordsTest, ABrokenReportKeepsTheFailedLinesWhole) {
  RunRecords records;
  records.report = std::make_unique<ItemReport>(files.OpenRecordFile("run.json"));
  records.failedLines = files.OpenRecordFile("rest.txt");
  files.FailWrite(1);
  EXPECT_FALSE(records.ItemEnded(reporter, {"CN=a", "", 1, "CN=a"}, NotProcessed()).ok());
  records.ItemEnded(reporter, {"CN=b", "", 2, "CN=b"}, NotProcessed());
  EXPECT_EQ(files.Contents("rest.txt"), "CN=a\nCN=b\n");
  EXPECT_EQ(err.str().find("report file", err.str().find("report file") + 1), std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace varnel
