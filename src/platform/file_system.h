// The calls a run's record files make on the system, behind an interface, so
// that what is built on them can be tested against a file system that fails
// on purpose: an open file that is appended to, flushed to disk and cut back,
// and the file system that opens such files after checking them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnel {

// Which file a descriptor or path leads to: two names of one file, or a file
// that is also standard input, have the same identity.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

enum class RecordOpenMode {
  // A regular file, created 0600 when it does not exist; an existing one
  // keeps its contents until the run empties it.
  kReplace,
  // A regular file that is new or empty, owned by the user who runs the
  // tool and writable by no one else (created 0600), locked against every
  // other run for as long as it is open.
  kMustBeNew,
};

class WritableFile {
 public:
  WritableFile() = default;
  WritableFile(const WritableFile&) = delete;
  WritableFile& operator=(const WritableFile&) = delete;
  virtual ~WritableFile() = default;

  // Writes all of bytes at the end of the file. False with the reason in
  // *error; part of the bytes may have been written then.
  virtual bool Append(std::string_view bytes, std::string* error) = 0;
  // Flushes everything written so far to the disk.
  virtual bool Sync(std::string* error) = 0;
  // Drops everything after the first `size` bytes (not flushed).
  virtual bool Truncate(uint64_t size, std::string* error) = 0;
  virtual FileIdentity Identity() const = 0;
  // The run's records begin in this file: it is kept, and a must-be-new one
  // is made readable by its owner alone. Until then a file that the open
  // created is removed again when it is closed, so that a run refused before
  // it began leaves no file behind and changes no mode.
  virtual bool Keep(std::string* error) = 0;
};

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  // Opens `path` for appending as `mode` requires; a symbolic link, a FIFO,
  // a device or a folder is refused. Null with the reason in *error.
  virtual std::unique_ptr<WritableFile> OpenForAppend(const std::string& path, RecordOpenMode mode,
                                                      std::string* error) = 0;
};

}  // namespace varnel
