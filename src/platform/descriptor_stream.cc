#include "platform/descriptor_stream.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace varnel {

DescriptorBuffer::DescriptorBuffer(int fd) : fd_(fd) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

DescriptorBuffer::~DescriptorBuffer() { Drain(); }

bool DescriptorBuffer::Drain() {
  const char* next = pbase();
  const char* const end = pptr();
  while (error_ == 0 && next != end) {
    const ssize_t written = ::write(fd_, next, static_cast<size_t>(end - next));
    if (written >= 0) {
      next += written;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A descriptor left non-blocking by whoever started us: wait for room.
      pollfd ready{fd_, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) error_ = errno;
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
  // After a failure nothing is held: every character comes to overflow and fails.
  if (error_ == 0)
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  else
    setp(nullptr, nullptr);
  return error_ == 0;
}

int DescriptorBuffer::overflow(int c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int DescriptorBuffer::sync() { return Drain() ? 0 : -1; }

}  // namespace varnel
