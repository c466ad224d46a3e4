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
  PosixFile(int fd, FileIdentity identity) : fd_(fd), identity_(identity) {}

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

 private:
  Descriptor fd_;
  FileIdentity identity_;
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
    int fd = -1;
    if (mode == RecordOpenMode::kMustBeNew) {
      fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
      // An existing file is taken only when it is empty, under the lock.
      if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), flags);
    } else {
      fd = ::open(path.c_str(), flags | O_CREAT, 0666);
    }
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
    if (!S_ISREG(status.st_mode)) {
      *error = "not a regular file";
      return nullptr;
    }
    if (mode == RecordOpenMode::kMustBeNew) {
      // Whoever holds the lock first owns the file; its size counts only
      // once the lock is held, so two runs never share one undo file.
      if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        *error = errno == EWOULDBLOCK ? "the file is in use by another run" : ErrnoText();
        return nullptr;
      }
      if (::fstat(file.get(), &status) != 0) {
        *error = ErrnoText();
        return nullptr;
      }
      if (status.st_size != 0) {
        *error = "the file exists and is not empty";
        return nullptr;
      }
      // The records hold the objects' values: only the owner may read them.
      if ((status.st_mode & 07777) != 0600 && ::fchmod(file.get(), 0600) != 0) {
        *error = ErrnoText();
        return nullptr;
      }
    }
    return std::make_unique<PosixFile>(file.release(), IdentityOf(status));
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
