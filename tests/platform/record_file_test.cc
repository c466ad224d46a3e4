// What a RecordFile promises, on the in-memory file system that fails on
// purpose: synced records survive a crash, a failed write leaves no half
// record, and a replaced file keeps an earlier run's bytes until the run
// begins.
#include "platform/record_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/fake_file_system.h"

namespace varnel {
namespace {

using testing::FakeFileSystem;

TEST(RecordFileTest, OnlySyncedRecordsSurviveACrash) {
  FakeFileSystem files;
  std::unique_ptr<RecordFile> file = files.OpenRecordFile("undo", RecordOpenMode::kMustBeNew);
  ASSERT_NE(file, nullptr);
  std::string error;
  ASSERT_TRUE(file->Append("one\n", true, &error));
  ASSERT_TRUE(file->Append("two\n", false, &error));
  EXPECT_EQ(files.Contents("undo"), "one\ntwo\n");
  files.Crash();
  EXPECT_EQ(files.Contents("undo"), "one\n");
}

TEST(RecordFileTest, AFailedWriteLeavesNoHalfRecord) {
  FakeFileSystem files;
  std::unique_ptr<RecordFile> file = files.OpenRecordFile("report");
  std::string error;
  ASSERT_TRUE(file->Append("first\n", false, &error));

  files.FailWrite(1, 3);  // "sec" lands, then the write fails
  EXPECT_FALSE(file->Append("second\n", false, &error));
  EXPECT_EQ(error, std::strerror(EIO));
  EXPECT_EQ(files.Contents("report"), "first\n");
  EXPECT_EQ(file->Size(), 6u);

  files.SetFreeSpace(4);  // a full disk takes part of the record
  EXPECT_FALSE(file->Append("third\n", true, &error));
  EXPECT_EQ(error, std::strerror(ENOSPC));
  EXPECT_EQ(files.Contents("report"), "first\n");

  // Written but not flushed: taken back as well, so that a record is either
  // wholly there or not at all.
  files.SetFreeSpace(std::nullopt);
  files.FailSyncs(true);
  EXPECT_FALSE(file->Append("fourth\n", true, &error));
  EXPECT_EQ(files.Contents("report"), "first\n");

  // When the cut fails too, the failure is still the write's.
  files.FailSyncs(false);
  files.FailTruncates(true);
  files.FailWrite(1, 2);
  EXPECT_FALSE(file->Append("fifth\n", false, &error));
  EXPECT_EQ(error, std::strerror(EIO));
  EXPECT_EQ(files.Contents("report"), "first\nfi");
}

TEST(RecordFileTest, AReplacedFileKeepsItsBytesUntilTheRunBegins) {
  FakeFileSystem files;
  files.Put("failed", "line of an earlier run\n");
  std::unique_ptr<RecordFile> file = files.OpenRecordFile("failed");
  EXPECT_EQ(files.Contents("failed"), "line of an earlier run\n");
  std::string error;
  ASSERT_TRUE(file->Begin(&error));
  EXPECT_EQ(files.Contents("failed"), "");

  // An Append before Begin empties the file first.
  files.Put("report", "old\n");
  std::unique_ptr<RecordFile> report = files.OpenRecordFile("report");
  ASSERT_TRUE(report->Append("new\n", false, &error));
  EXPECT_EQ(files.Contents("report"), "new\n");
}

}  // namespace
}  // namespace varnel
