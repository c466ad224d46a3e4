#include "platform/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnel {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::unique_ptr<RecordFile> RecordFile::Open(const std::string& path, OpenMode mode,
                                             std::string* error) {
  const mode_t permissions = mode == OpenMode::kMustBeNew ? 0600 : 0666;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, permissions);
  if (fd < 0) {
    *error = ErrnoText();
    return nullptr;
  }
  auto file = std::make_unique<RecordFile>(Key(), fd, path);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    *error = ErrnoText();
    return nullptr;
  }
  const bool regular = S_ISREG(status.st_mode);
  if (mode == OpenMode::kMustBeNew) {
    // Records are taken back by cutting the file, and each is flushed to disk:
    // only a regular file can hold them.
    if (!regular) {
      *error = "not a regular file";
      return nullptr;
    }
    if (status.st_size != 0) {
      *error = "the file exists and is not empty";
      return nullptr;
    }
  } else if (regular && ::ftruncate(fd, 0) != 0) {
    *error = ErrnoText();
    return nullptr;
  }
  return file;
}

RecordFile::~RecordFile() { ::close(fd_); }

bool RecordFile::Append(std::string_view bytes, bool sync, std::string* error) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      *error = ErrnoText();
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
    size_ += static_cast<uint64_t>(written);
  }
  if (sync && ::fsync(fd_) != 0) {
    *error = ErrnoText();
    return false;
  }
  return true;
}

bool RecordFile::CutTo(uint64_t size, std::string* error) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::fsync(fd_) != 0) {
    *error = ErrnoText();
    return false;
  }
  size_ = size;
  return true;
}

}  // namespace varnel
