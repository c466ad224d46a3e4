#include "support/fake_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace varnel::testing {

class FakeFileSystem::File : public WritableFile {
 public:
  File(FakeFileSystem& system, std::shared_ptr<FileState> state, bool locks, std::string created)
      : system_(system), state_(std::move(state)), locks_(locks), created_(std::move(created)) {
    if (locks_) state_->locked = true;
  }
  ~File() override {
    if (locks_) state_->locked = false;
    // Made by this open and never kept: it goes again.
    auto found = system_.files_.find(created_);
    if (!created_.empty() && found != system_.files_.end() && found->second == state_)
      system_.files_.erase(found);
  }

  bool Keep(std::string*) override {
    created_.clear();
    return true;
  }

  bool Append(std::string_view bytes, std::string* error) override {
    ++system_.writes_;
    if (system_.failAt_ != 0 && --system_.failAt_ == 0) {
      state_->data.append(bytes.substr(0, system_.failPartial_));
      *error = std::strerror(EIO);
      return false;
    }
    if (system_.freeSpace_ && *system_.freeSpace_ < bytes.size()) {
      state_->data.append(bytes.substr(0, *system_.freeSpace_));
      system_.freeSpace_ = 0;
      *error = std::strerror(ENOSPC);
      return false;
    }
    if (system_.freeSpace_) *system_.freeSpace_ -= bytes.size();
    state_->data.append(bytes);
    return true;
  }

  bool Sync(std::string* error) override {
    if (system_.failSyncs_) {
      *error = std::strerror(EIO);
      return false;
    }
    state_->durable = state_->data;
    ++system_.syncs_;
    return true;
  }

  bool Truncate(uint64_t size, std::string* error) override {
    if (system_.failTruncates_) {
      *error = std::strerror(EIO);
      return false;
    }
    if (size < state_->data.size()) {
      if (system_.freeSpace_) *system_.freeSpace_ += state_->data.size() - size;
      state_->data.resize(size);
    }
    return true;
  }

  FileIdentity Identity() const override { return state_->identity; }

 private:
  FakeFileSystem& system_;
  std::shared_ptr<FileState> state_;
  bool locks_;
  std::string created_;  // the path this open created, until the file is kept
};

std::unique_ptr<WritableFile> FakeFileSystem::OpenForAppend(const std::string& path,
                                                            RecordOpenMode mode,
                                                            std::string* error) {
  auto found = files_.find(path);
  std::string created;
  if (found == files_.end()) {
    Put(path, "");
    found = files_.find(path);
    created = path;
  }
  FileState& state = *found->second;
  if (!state.regular) {
    *error = "not a regular file";
    return nullptr;
  }
  const bool mustBeNew = mode == RecordOpenMode::kMustBeNew;
  if (mustBeNew && state.locked) {
    *error = "the file is in use by another run";
    return nullptr;
  }
  if (mustBeNew && !state.data.empty()) {
    *error = "the file exists and is not empty";
    return nullptr;
  }
  return std::make_unique<File>(*this, found->second, mustBeNew, std::move(created));
}

std::unique_ptr<RecordFile> FakeFileSystem::OpenRecordFile(const std::string& path,
                                                           RecordOpenMode mode) {
  std::string error;
  std::unique_ptr<RecordFile> file = RecordFile::Open(*this, path, mode, &error);
  EXPECT_NE(file, nullptr) << path << ": " << error;
  return file;
}

FakeFileSystem::FileState& FakeFileSystem::Put(const std::string& path, const std::string& data,
                                               bool regular) {
  auto state = std::make_shared<FileState>();
  state->data = data;
  state->durable = data;
  state->regular = regular;
  state->identity = {1, nextInode_++};
  files_[path] = state;
  return *state;
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  auto found = files_.find(path);
  return found == files_.end() ? "" : found->second->data;
}

void FakeFileSystem::FailWrite(int nth, size_t partial) {
  failAt_ = nth;
  failPartial_ = partial;
}

void FakeFileSystem::Crash() {
  for (auto& [path, state] : files_) state->data = state->durable;
}

}  // namespace varnel::testing
