// A file a run writes record by record beside its output (the undo file, the
// item report, the lines to run again): opened once before the directory is
// touched, appended to, flushed to disk when a record must survive a crash,
// and cut back to an earlier size when a record is taken back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace varnel {

class RecordFile {
 public:
  enum class OpenMode {
    kReplace,    // created, or emptied when it exists (a regular file)
    kMustBeNew,  // created with mode 0600; refused when it exists and is not empty
  };

  // Null on failure, with the reason in *error.
  static std::unique_ptr<RecordFile> Open(const std::string& path, OpenMode mode,
                                          std::string* error);

 private:
  struct Key {
    explicit Key() = default;
  };

 public:
  RecordFile(Key, int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Writes all of bytes at the end; with sync, also flushes them to the disk.
  // False with the reason in *error.
  bool Append(std::string_view bytes, bool sync, std::string* error);
  // The number of bytes written so far.
  uint64_t Size() const { return size_; }
  // Drops everything after the first `size` bytes and flushes that to disk.
  bool CutTo(uint64_t size, std::string* error);

  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
  uint64_t size_ = 0;
};

}  // namespace varnel
