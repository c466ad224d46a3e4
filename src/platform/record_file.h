// A file a run writes record by record beside its output (the undo file, the
// item report, the lines to run again): opened once before the directory is
// touched, emptied only when the run's processing begins, appended to a
// whole record at a time, and flushed to disk when a record must survive a
// crash: with each record, or once for a group of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_system.h"

namespace varnel {

class RecordFile {
 public:
  using OpenMode = RecordOpenMode;

  // Null on failure, with the reason in *error.
  static std::unique_ptr<RecordFile> Open(FileSystem& files, const std::string& path, OpenMode mode,
                                          std::string* error);

  RecordFile(std::unique_ptr<WritableFile> file, std::string path, OpenMode mode);
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Keeps the file (until then one the open created goes again when it is
  // closed) and empties a kReplace file, which keeps what an earlier run
  // wrote until then; a must-be-new file is empty already. The first Append
  // does it at the latest.
  bool Begin(std::string* error);
  // Writes all of bytes at the end; with sync, also flushes them to the disk.
  // False with the reason in *error: the file is then cut back to its size
  // before the call, so that it holds no half record unless that failed too.
  bool Append(std::string_view bytes, bool sync, std::string* error);
  // The number of bytes written so far.
  uint64_t Size() const { return size_; }
  // Flushes every record appended so far to the disk.
  bool Sync(std::string* error);

  const std::string& path() const { return path_; }
  FileIdentity identity() const { return file_->Identity(); }

 private:
  std::unique_ptr<WritableFile> file_;
  std::string path_;
  OpenMode mode_;
  bool begun_ = false;
  uint64_t size_ = 0;
};

}  // namespace varnel
