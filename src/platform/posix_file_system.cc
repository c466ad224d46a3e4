#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace varnel {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// Owns one descriptor and closes it.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

class PosixFile : public WritableFile {
 public:
  PosixFile(int fd, FileIdentity identity, std::string path, bool created, bool makePrivate)
      : fd_(fd),
        identity_(identity),
        path_(std::move(path)),
        created_(created),
        makePrivate_(makePrivate) {}
  ~PosixFile() override {
    if (!created_ || kept_) return;
    // Removed only while the name still leads to the file this open made,
    // and never from under another run that holds it.
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) return;
    struct stat status {};
    if (::lstat(path_.c_str(), &status) == 0 && IdentityOf(status) == identity_)
      ::unlink(path_.c_str());
  }

  bool Append(std::string_view bytes, std::string* error) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        *error = ErrnoText();
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }

  bool Sync(std::string* error) override {
    if (::fsync(fd_.get()) == 0) return true;
    *error = ErrnoText();
    return false;
  }

  bool Truncate(uint64_t size, std::string* error) override {
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) == 0) return true;
    *error = ErrnoText();
    return false;
  }

  FileIdentity Identity() const override { return identity_; }
  int fd() const { return fd_.get(); }

  bool Keep(std::string* error) override {
    // The records hold the objects' values: only the owner may read them.
    struct stat status {};
    if (makePrivate_ && (::fstat(fd_.get(), &status) != 0 ||
                         ((status.st_mode & 07777) != 0600 && ::fchmod(fd_.get(), 0600) != 0))) {
      *error = ErrnoText();
      return false;
    }
    kept_ = true;
    return true;
  }

 private:
  Descriptor fd_;
  FileIdentity identity_;
  std::string path_;
  bool created_;
  bool makePrivate_;
  bool kept_ = false;
};

// Why open(2) refused a path, in the words of a record file's error line.
std::string OpenErrorText(int error) {
  // O_NOFOLLOW: the last part of the path is a symbolic link.
  if (error == ELOOP) return "the file is a symbolic link";
  // O_NONBLOCK: a FIFO without a reader, or a device that is not there.
  if (error == ENXIO) return "not a regular file";
  return std::strerror(error);
}

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<WritableFile> OpenForAppend(const std::string& path, RecordOpenMode mode,
                                              std::string* error) override {
    // A FIFO must not block the run, and a link must not lead the run's
    // writes to another file; neither is a regular file anyway.
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const bool mustBeNew = mode == RecordOpenMode::kMustBeNew;
    // Made here, or an existing file; whoever made it, it is created 0600.
    int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    const bool created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), flags);
    Descriptor file(fd);
    if (!file.valid()) {
      *error = OpenErrorText(errno);
      return nullptr;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
      *error = ErrnoText();
      return nullptr;
    }
    // From here a file this open made is removed again if it is refused.
    auto opened =
        std::make_unique<PosixFile>(file.release(), IdentityOf(status), path, created, mustBeNew);
    if (!S_ISREG(status.st_mode)) {
      *error = "not a regular file";
      return nullptr;
    }
    if (mustBeNew) {
      // What another user could write to the undo file would be replayed
      // with the administrator's rights.
      if (status.st_uid != ::geteuid()) {
        *error = "the file belongs to another user";
        return nullptr;
      }
      if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = "other users may write to the file";
        return nullptr;
      }
      // Whoever holds the lock first owns the file; its size counts only
      // once the lock is held, so two runs never share one undo file.
      if (::flock(opened->fd(), LOCK_EX | LOCK_NB) != 0) {
        *error = errno == EWOULDBLOCK ? "the file is in use by another run" : ErrnoText();
        return nullptr;
      }
      if (::fstat(opened->fd(), &status) != 0) {
        *error = ErrnoText();
        return nullptr;
      }
      if (status.st_size != 0) {
        *error = "the file exists and is not empty";
        return nullptr;
      }
    }
    return opened;
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static PosixFileSystem system;
  return system;
}

std::optional<FileIdentity> DescriptorIdentity(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

std::optional<FileIdentity> PathIdentity(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityOf(status);
}

}  // namespace varnel
