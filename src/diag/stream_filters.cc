#include "diag/stream_filters.h"

#include <string>

namespace varnel {

int CommentLineBuffer::overflow(int c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (atLineStart_) {
    const std::string prefix = c == '\n' ? "#" : "# ";
    if (target_->sputn(prefix.data(), static_cast<std::streamsize>(prefix.size())) !=
        static_cast<std::streamsize>(prefix.size()))
      return traits_type::eof();
  }
  atLineStart_ = c == '\n';
  return target_->sputc(static_cast<char>(c));
}

int CommentLineBuffer::sync() { return target_->pubsync(); }

int HookedBuffer::overflow(int c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  before_();
  lineOpen_ = c != '\n';
  return target_->sputc(static_cast<char>(c));
}

int HookedBuffer::sync() {
  const int synced = target_->pubsync();
  if (flushed_) flushed_();
  return synced;
}

}  // namespace varnel
