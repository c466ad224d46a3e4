#include "platform/record_file.h"

namespace varnel {

std::unique_ptr<RecordFile> RecordFile::Open(FileSystem& files, const std::string& path,
                                             OpenMode mode, std::string* error) {
  std::unique_ptr<WritableFile> file = files.OpenForAppend(path, mode, error);
  if (!file) return nullptr;
  return std::make_unique<RecordFile>(std::move(file), path, mode);
}

RecordFile::RecordFile(std::unique_ptr<WritableFile> file, std::string path, OpenMode mode)
    : file_(std::move(file)), path_(std::move(path)), mode_(mode) {}

bool RecordFile::Begin(std::string* error) {
  if (begun_) return true;
  if (!file_->Keep(error)) return false;
  // A must-be-new file is empty already.
  if (mode_ == OpenMode::kReplace && !file_->Truncate(0, error)) return false;
  begun_ = true;
  size_ = 0;
  return true;
}

bool RecordFile::Append(std::string_view bytes, bool sync, std::string* error) {
  if (!Begin(error)) return false;
  if (file_->Append(bytes, error) && (!sync || file_->Sync(error))) {
    size_ += bytes.size();
    return true;
  }
  std::string ignored;  // the write's own reason is the one to report
  if (file_->Truncate(size_, &ignored) && sync) file_->Sync(&ignored);
  return false;
}

bool RecordFile::Sync(std::string* error) { return Begin(error) && file_->Sync(error); }

}  // namespace varnel
