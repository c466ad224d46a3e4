// Stream buffers that sit in front of another stream's buffer: one turns
// every line written through it into an LDIF comment, the other calls a hook
// before anything passes, so that a status line can be erased first.
#pragma once

#include <functional>
#include <streambuf>

namespace varnel {

// Writes "# " before every line ("#" alone before an empty one).
class CommentLineBuffer : public std::streambuf {
 public:
  explicit CommentLineBuffer(std::streambuf* target) : target_(target) {}

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  std::streambuf* target_;
  bool atLineStart_ = true;
};

// Calls `before` ahead of every character that passes.
class HookedBuffer : public std::streambuf {
 public:
  HookedBuffer(std::streambuf* target, std::function<void()> before)
      : target_(target), before_(std::move(before)) {}

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  std::streambuf* target_;
  std::function<void()> before_;
};

}  // namespace varnel
