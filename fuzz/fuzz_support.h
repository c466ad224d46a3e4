// Helpers shared by the fuzz targets: a check that stops the fuzzer with a
// message, a reader that takes fields off the front of the input, and a guard
// that silences the standard streams while the code under test prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace varnel::fuzz {

// Reports a broken invariant on the real standard error (the C stream, which
// the guard below leaves alone) and aborts, which libFuzzer records as a crash.
[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

#define VARNEL_FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::varnel::fuzz::Fail(__FILE__, __LINE__, #condition))

// Takes fields off the front of the fuzz input; reads past the end give zeros
// and empty texts, so every input is usable.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size)
      : text_(reinterpret_cast<const char*>(data), size) {}

  uint8_t Byte() {
    if (text_.empty()) return 0;
    const uint8_t byte = static_cast<uint8_t>(text_.front());
    text_.remove_prefix(1);
    return byte;
  }

  // Up to `length` bytes.
  std::string Bytes(size_t length) {
    const std::string_view piece = text_.substr(0, length);
    text_.remove_prefix(piece.size());
    return std::string(piece);
  }

  // A length byte (taken modulo `limit` + 1) followed by that many bytes.
  std::string ShortText(size_t limit) { return Bytes(Byte() % (limit + 1)); }

  std::string Rest() {
    std::string rest(text_);
    text_ = {};
    return rest;
  }

 private:
  std::string_view text_;
};

// A stream buffer that accepts and drops everything.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Points std::cout, std::cerr and std::clog at a NullBuffer for its lifetime.
class SilencedStreams {
 public:
  SilencedStreams()
      : out_(std::cout.rdbuf(&sink_)),
        err_(std::cerr.rdbuf(&sink_)),
        log_(std::clog.rdbuf(&sink_)) {}
  ~SilencedStreams() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
    std::clog.rdbuf(log_);
  }
  SilencedStreams(const SilencedStreams&) = delete;
  SilencedStreams& operator=(const SilencedStreams&) = delete;

 private:
  NullBuffer sink_;
  std::streambuf* out_;
  std::streambuf* err_;
  std::streambuf* log_;
};

}  // namespace varnel::fuzz
