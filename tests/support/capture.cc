#include "support/capture.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

namespace varnel::testing {

std::string KeepingBuffer::Take() {
  std::string taken;
  taken.swap(text_);
  return taken;
}

int KeepingBuffer::overflow(int c) {
  if (c == traits_type::eof()) return traits_type::not_eof(c);
  text_.push_back(traits_type::to_char_type(c));
  both_.push_back(traits_type::to_char_type(c));
  return c;
}

std::streamsize KeepingBuffer::xsputn(const char* s, std::streamsize n) {
  text_.append(s, static_cast<size_t>(n));
  both_.append(s, static_cast<size_t>(n));
  return n;
}

namespace {

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Sends descriptor `fd` to a temporary file while it lives.
class Redirect {
 public:
  explicit Redirect(int fd) : fd_(fd), file_(tmpfile()), saved_(dup(fd)) {
    ok_ = file_ != nullptr && saved_ >= 0 && dup2(fileno(file_.get()), fd_) >= 0;
  }
  ~Redirect() { PutBack(); }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

  bool ok() const { return ok_; }

  // Puts the descriptor back and reads what the file got.
  std::string Text() {
    PutBack();
    std::string text;
    if (!ok_) return text;
    rewind(file_.get());
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file_.get())) > 0) text.append(chunk, n);
    return text;
  }

 private:
  void PutBack() {
    if (saved_ < 0) return;
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
  }

  int fd_;
  File file_;
  int saved_;
  bool ok_ = false;
};

void FlushAll() {
  std::cout.flush();
  std::cerr.flush();
  fflush(nullptr);
}

}  // namespace

Printed CapturePrinted(const std::function<void()>& body) {
  FlushAll();
  Redirect out(STDOUT_FILENO);
  Redirect err(STDERR_FILENO);
  body();
  FlushAll();
  std::string errText = err.Text();
  std::string outText = out.Text();
  if (!out.ok() || !err.ok()) errText += "[CapturePrinted: could not redirect the output]\n";
  return {std::move(outText), std::move(errText)};
}

}  // namespace varnel::testing
