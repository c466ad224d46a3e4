// The run's records on a file system that fails: the undo journal's
// take-back cuts only its own record, and the report and failed lines say
// when they can no longer be kept.
#include "run/run_records.h"

#include <gtest/gtest.h>

#include <sstream>

#include "actions/action.h"
#include "diag/reporter.h"
#include "support/fake_file_system.h"

namespace varnel {
namespace {

using testing::FakeFileSystem;

ObjectRead Read(const std::string& dn, const std::string& mail) {
  ObjectRead read;
  read.entry.dn = dn;
  read.entry.attributes.push_back({"mail", {mail}});
  return read;
}

ObjectPlan ClearMail(const std::string& dn) {
  return {dn, {{LdapModification::Op::kDelete, "mail", {}}}, ObjectPlan::Writer::kLdap};
}

class RunRecordsTest : public ::testing::Test {
 protected:
  FakeFileSystem files;
  std::ostringstream out;
  std::ostringstream err;
  Reporter reporter{out, err};
};

TEST_F(RunRecordsTest, TakingBackARefusedChangeCutsOnlyItsOwnRecord) {
  UndoJournal journal(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  ASSERT_TRUE(journal.Record(reporter, ClearMail("CN=a"), Read("CN=a", "a@x")).ok());
  const std::string first = files.Durable("undo.ldif");
  EXPECT_NE(first.find("mail: a@x"), std::string::npos);
  ASSERT_TRUE(journal.Record(reporter, ClearMail("CN=b"), Read("CN=b", "b@x")).ok());
  ASSERT_TRUE(journal.TakeBack(reporter).ok());
  EXPECT_EQ(files.Contents("undo.ldif"), first);
  EXPECT_EQ(files.Durable("undo.ldif"), first);
  // Taken back, b is recorded again from its values before the next change.
  ASSERT_TRUE(journal.Record(reporter, ClearMail("CN=b"), Read("CN=b", "b2@x")).ok());
  EXPECT_NE(files.Contents("undo.ldif").find("mail: b2@x"), std::string::npos);
}

TEST_F(RunRecordsTest, AFullDiskBreaksTheJournalAndLeavesNoHalfRecord) {
  UndoJournal journal(files.OpenRecordFile("undo.ldif", RecordOpenMode::kMustBeNew));
  ASSERT_TRUE(journal.Record(reporter, ClearMail("CN=a"), Read("CN=a", "a@x")).ok());
  const std::string kept = files.Contents("undo.ldif");
  files.FailWrite(1, 5);
  EXPECT_FALSE(journal.Record(reporter, ClearMail("CN=b"), Read("CN=b", "b@x")).ok());
  EXPECT_TRUE(journal.broken());
  EXPECT_EQ(files.Contents("undo.ldif"), kept);
  EXPECT_NE(err.str().find("ERROR: Cannot write the undo file undo.ldif: "), std::string::npos);
  // Nothing more may be recorded, so nothing more may be sent.
  EXPECT_FALSE(journal.Record(reporter, ClearMail("CN=c"), Read("CN=c", "c@x")).ok());
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
  EXPECT_NE(err.str().find("ERROR: Cannot write the report file run.json: "), std::string::npos)
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
