// The system's files behind the record-file seam: only regular files are
// taken, links are not followed, a FIFO does not block, an undo file is
// private and belongs to one run at a time.
#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace varnel {
namespace {

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("varnel-posix-files-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const char* name) const { return (folder_ / name).string(); }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The reason an open is refused for; "" when it is taken.
  static std::string Refusal(const std::string& path, RecordOpenMode mode) {
    std::string error;
    return SystemFileSystem().OpenForAppend(path, mode, &error) ? "" : error;
  }

  std::filesystem::path folder_;
};

TEST_F(PosixFileSystemTest, OnlyRegularFilesAreTakenAndLinksAreNotFollowed) {
  const std::string fifo = PathOf("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (RecordOpenMode mode : {RecordOpenMode::kReplace, RecordOpenMode::kMustBeNew}) {
    // Without a reader the open would wait for one; with one it is a FIFO.
    EXPECT_EQ(Refusal(fifo, mode), "not a regular file");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Refusal(fifo, mode), "not a regular file");
    ::close(reader);

    EXPECT_EQ(Refusal(folder_.string(), mode), std::strerror(EISDIR));
  }

  const std::string target = PathOf("target"), link = PathOf("link");
  Write(target, "");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  Write(target, "kept\n");
  EXPECT_EQ(Refusal(link, RecordOpenMode::kReplace), "the file is a symbolic link");
  Write(target, "");
  EXPECT_EQ(Refusal(link, RecordOpenMode::kMustBeNew), "the file is a symbolic link");
  const std::string dangling = PathOf("dangling");
  ASSERT_EQ(::symlink(PathOf("nowhere").c_str(), dangling.c_str()), 0);
  EXPECT_EQ(Refusal(dangling, RecordOpenMode::kMustBeNew), "the file is a symbolic link");
  EXPECT_FALSE(std::filesystem::exists(PathOf("nowhere")));
}

TEST_F(PosixFileSystemTest, AReplacedFileIsKeptUntilTruncated) {
  const std::string path = PathOf("report");
  Write(path, "earlier\n");
  std::string error;
  std::unique_ptr<WritableFile> file =
      SystemFileSystem().OpenForAppend(path, RecordOpenMode::kReplace, &error);
  ASSERT_NE(file, nullptr) << error;
  EXPECT_EQ(Read(path), "earlier\n");
  ASSERT_TRUE(file->Truncate(0, &error));
  ASSERT_TRUE(file->Append("now\n", &error));
  ASSERT_TRUE(file->Sync(&error));
  EXPECT_EQ(Read(path), "now\n");
}

TEST_F(PosixFileSystemTest, AnUndoFileIsPrivateNewOrEmptyAndHeldByOneRun) {
  const std::string made = PathOf("made");
  std::string error;
  std::unique_ptr<WritableFile> first =
      SystemFileSystem().OpenForAppend(made, RecordOpenMode::kMustBeNew, &error);
  ASSERT_NE(first, nullptr) << error;
  struct stat status {};
  ASSERT_EQ(::stat(made.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  // A second run with the same path, while the first holds it.
  EXPECT_EQ(Refusal(made, RecordOpenMode::kMustBeNew), "the file is in use by another run");
  ASSERT_TRUE(first->Keep(&error));
  first.reset();
  EXPECT_EQ(Refusal(made, RecordOpenMode::kMustBeNew), "");

  // An existing empty file of the user's is taken, and made private only
  // once it is kept; a filled one is not taken.
  const std::string existing = PathOf("existing");
  Write(existing, "");
  ASSERT_EQ(::chmod(existing.c_str(), 0644), 0);
  std::unique_ptr<WritableFile> taken =
      SystemFileSystem().OpenForAppend(existing, RecordOpenMode::kMustBeNew, &error);
  ASSERT_NE(taken, nullptr) << error;
  ASSERT_EQ(::stat(existing.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  ASSERT_TRUE(taken->Keep(&error));
  taken.reset();
  ASSERT_EQ(::stat(existing.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  Write(existing, "x");
  EXPECT_EQ(Refusal(existing, RecordOpenMode::kMustBeNew), "the file exists and is not empty");
}

// Records another user could write to would be replayed with the
// administrator's rights; a refused open changes no mode.
TEST_F(PosixFileSystemTest, AnUndoFileOthersMayWriteIsRefusedAsItIs) {
  const std::string shared = PathOf("shared");
  Write(shared, "");
  ASSERT_EQ(::chmod(shared.c_str(), 0662), 0);
  EXPECT_EQ(Refusal(shared, RecordOpenMode::kMustBeNew), "other users may write to the file");
  struct stat status {};
  ASSERT_EQ(::stat(shared.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0662u);
}

// A file the open made is created 0600 and goes again unless it is kept.
TEST_F(PosixFileSystemTest, AFileMadeForARunThatNeverBeganIsRemoved) {
  for (RecordOpenMode mode : {RecordOpenMode::kReplace, RecordOpenMode::kMustBeNew}) {
    const std::string path = PathOf("new");
    std::string error;
    std::unique_ptr<WritableFile> file = SystemFileSystem().OpenForAppend(path, mode, &error);
    ASSERT_NE(file, nullptr) << error;
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    file.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    file = SystemFileSystem().OpenForAppend(path, mode, &error);
    ASSERT_TRUE(file && file->Keep(&error)) << error;
    file.reset();
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);
  }
}

TEST_F(PosixFileSystemTest, TwoNamesOfOneFileHaveOneIdentity) {
  const std::string path = PathOf("mix"), other = PathOf("other");
  Write(other, "");
  std::string error;
  std::unique_ptr<WritableFile> a =
      SystemFileSystem().OpenForAppend(path, RecordOpenMode::kReplace, &error);
  std::unique_ptr<WritableFile> b = SystemFileSystem().OpenForAppend(
      (folder_ / "." / "mix").string(), RecordOpenMode::kReplace, &error);
  std::unique_ptr<WritableFile> c =
      SystemFileSystem().OpenForAppend(other, RecordOpenMode::kReplace, &error);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->Identity(), b->Identity());
  EXPECT_NE(a->Identity(), c->Identity());
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_EQ(DescriptorIdentity(fd), a->Identity());
  ::close(fd);
  EXPECT_EQ(DescriptorIdentity(fd), std::nullopt);
}

}  // namespace
}  // namespace varnel
