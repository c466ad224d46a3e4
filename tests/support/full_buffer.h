// A stream buffer on a disk that fills: it takes `room` characters, then
// fails every write.
#pragma once

#include <cstddef>
#include <streambuf>

namespace varnel::testing {

class FullBuffer : public std::streambuf {
 public:
  explicit FullBuffer(size_t room) : room_(room) {}

 protected:
  int overflow(int c) override {
    if (room_ == 0) return traits_type::eof();
    --room_;
    return c;
  }

 private:
  size_t room_;
};

}  // namespace varnel::testing
