// A FileSystem for unit tests: files in memory, each with the bytes a crash
// would leave (those flushed by the last Sync). Writes can be made to fail:
// the Nth write from now, or every write once the disk is full (ENOSPC),
// each after writing part of its bytes, as a real file system may.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/record_file.h"

namespace varnel::testing {

class FakeFileSystem : public FileSystem {
 public:
  struct FileState {
    std::string data;     // what a reader sees now
    std::string durable;  // what is left after a crash
    bool regular = true;  // false: a FIFO, a device, a folder or a link
    bool locked = false;  // held by an open must-be-new file
    FileIdentity identity;
  };

  // The same checks as the system's: kReplace creates or keeps a regular
  // file; kMustBeNew takes a new or empty one and locks it.
  std::unique_ptr<WritableFile> OpenForAppend(const std::string& path, RecordOpenMode mode,
                                              std::string* error) override;

  // A RecordFile on this file system; null (with a test failure) when the
  // open is refused.
  std::unique_ptr<RecordFile> OpenRecordFile(const std::string& path,
                                             RecordOpenMode mode = RecordOpenMode::kReplace);

  // Puts a file in place as an earlier run (or another program) left it.
  FileState& Put(const std::string& path, const std::string& data, bool regular = true);
  // A second name for an existing file, as a hard link or "./name" is.
  void Link(const std::string& existing, const std::string& path) {
    files_[path] = files_.at(existing);
  }
  bool Exists(const std::string& path) const { return files_.count(path) != 0; }
  // The bytes a reader sees now ("" for a file that does not exist).
  std::string Contents(const std::string& path) const;
  // What of it would be left after a crash.
  std::string Durable(const std::string& path) const {
    auto found = files_.find(path);
    return found == files_.end() ? "" : found->second->durable;
  }

  // The nth write from now (1: the next) writes `partial` bytes and fails.
  void FailWrite(int nth, size_t partial = 0);
  // The disk holds `bytes` more bytes; a write that does not fit writes what
  // does and fails with the system's text for ENOSPC. nullopt: no limit.
  void SetFreeSpace(std::optional<uint64_t> bytes) { freeSpace_ = bytes; }
  // Every Sync fails from now on, or works again.
  void FailSyncs(bool fail) { failSyncs_ = fail; }
  void FailTruncates(bool fail) { failTruncates_ = fail; }
  // The machine stops: every file keeps only what was flushed to disk.
  void Crash();

  int writes() const { return writes_; }
  // The flushes to disk that worked.
  int syncs() const { return syncs_; }

 private:
  class File;
  friend class File;

  std::map<std::string, std::shared_ptr<FileState>> files_;
  uint64_t nextInode_ = 1;
  int writes_ = 0;
  int syncs_ = 0;
  int failAt_ = 0;
  size_t failPartial_ = 0;
  std::optional<uint64_t> freeSpace_;
  bool failSyncs_ = false;
  bool failTruncates_ = false;
};

}  // namespace varnel::testing
