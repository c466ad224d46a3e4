// Stream buffers that sit in front of another stream's buffer: one turns
// every line written through it into an LDIF comment, the other calls hooks
// around what passes, so that a status line can be erased first and drawn
// again once a line has ended.
#pragma once

#include <functional>
#include <streambuf>
#include <utility>

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

// Calls `before` ahead of every character that passes, and `flushed` after
// each flush of the target.
class HookedBuffer : public std::streambuf {
 public:
  HookedBuffer(std::streambuf* target, std::function<void()> before,
               std::function<void()> flushed = {})
      : target_(target), before_(std::move(before)), flushed_(std::move(flushed)) {}

  // What passed so far ends in the middle of a line.
  bool lineOpen() const { return lineOpen_; }

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  std::streambuf* target_;
  std::function<void()> before_;
  std::function<void()> flushed_;
  bool lineOpen_ = false;
};

}  // namespace varnel
