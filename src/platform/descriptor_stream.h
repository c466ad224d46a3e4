// Standard output and standard error as streams over their descriptors, so
// that a write the system refuses (a full disk, a pipe whose reader has
// gone) is seen: std::cout over stdio may keep such a failure to itself.
#pragma once

#include <array>
#include <ostream>
#include <streambuf>

namespace varnel {

// Buffers what is written and hands it to the descriptor on a flush or when
// the buffer is full. The first failed write is kept: from then on every
// write and flush fails, so the stream it serves turns bad and nothing is
// written after a gap.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd);
  ~DescriptorBuffer() override;  // writes what is still held
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  // The errno of the failed write; 0 while every write succeeded.
  int error() const { return error_; }

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  // Writes the held bytes; false once a write has failed.
  bool Drain();

  int fd_;
  int error_ = 0;
  std::array<char, 8192> buffer_{};
};

// An ostream over its own DescriptorBuffer.
class DescriptorStream : public std::ostream {
 public:
  explicit DescriptorStream(int fd) : std::ostream(nullptr), buffer_(fd) { rdbuf(&buffer_); }
  int error() const { return buffer_.error(); }

 private:
  DescriptorBuffer buffer_;
};

}  // namespace varnel
