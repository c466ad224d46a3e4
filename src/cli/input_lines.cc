#include "cli/input_lines.h"

#include "platform/code_page.h"
#include "platform/stop_request.h"

namespace varnel {
namespace {

constexpr int kEof = std::char_traits<char>::eof();

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Whether a line of `length` bytes (and a line feed after it, if any) fits
// the line buffer.
bool Fits(size_t length, bool lineFeed) { return length + (lineFeed ? 1 : 0) < kLineBufferSize; }

}  // namespace

InputLineReader::InputLineReader(std::istream& in, const StopRequest* stop) : in_(in), stop_(stop) {
  // Up to three bytes decide the form; they are served again when they are
  // not a byte-order mark.
  for (int i = 0; i < 3; ++i) {
    const int c = ReadByte();
    if (c == kEof) break;
    pending_.push_back(static_cast<char>(c));
    const std::string_view seen(pending_);
    if (seen == "\xFF\xFE" || seen == "\xFE\xFF") {
      wide_ = true;
      bigEndian_ = seen[0] == '\xFE';
      pending_.clear();
      return;
    }
    if (seen == "\xEF\xBB\xBF") {
      pending_.clear();
      return;
    }
    if (!std::string_view("\xEF\xBB\xBF").starts_with(seen) && seen != "\xFF" && seen != "\xFE") {
      return;
    }
  }
}

int InputLineReader::NextByte() {
  if (pendingAt_ < pending_.size()) return static_cast<unsigned char>(pending_[pendingAt_++]);
  return ReadByte();
}

int InputLineReader::ReadByte() {
  std::streambuf* buffer = in_.rdbuf();
  if (stopped_ || buffer == nullptr || !in_.good()) return kEof;
  // Asked before each read of the descriptor (nothing left in the buffer),
  // so an endless line stops as promptly as an idle input.
  if (stop_ != nullptr && buffer->in_avail() <= 0 && stop_->Signal() != 0) {
    stopped_ = true;
    return kEof;
  }
  const int c = buffer->sbumpc();
  if (c != kEof) return c;
  in_.setstate(std::ios::eofbit);
  // A read the signal interrupted ends the input as well.
  stopped_ = stop_ != nullptr && stop_->Signal() != 0;
  return c;
}

LineStatus InputLineReader::Next(std::string* line) {
  line->clear();
  LineStatus status = wide_ ? NextWide(line) : NextNarrow(line);
  if (stopped_) status = LineStatus::kEnd;
  if (status != LineStatus::kEnd) ++lineNumber_;
  if (status != LineStatus::kLine) line->clear();
  return status;
}

LineStatus InputLineReader::NextNarrow(std::string* line) {
  size_t length = 0;
  bool sawAny = false;
  bool lineFeed = false;
  for (int c = NextByte(); c != kEof; c = NextByte()) {
    sawAny = true;
    if (c == '\n') {
      lineFeed = true;
      break;
    }
    if (length <= kLineBufferSize) line->push_back(static_cast<char>(c));
    ++length;
  }
  if (!sawAny) return LineStatus::kEnd;
  if (!line->empty() && line->back() == '\r' && length == line->size()) {
    line->pop_back();
    --length;
  }
  return Fits(length, lineFeed) ? LineStatus::kLine : LineStatus::kTooLong;
}

bool InputLineReader::NextUnit(char16_t* unit) {
  const int first = NextByte();
  if (first == kEof) return false;
  const int second = NextByte();
  if (second == kEof) {
    *unit = 0xDC00;  // half a unit: no well-formed text ends this way
    return true;
  }
  *unit = static_cast<char16_t>(bigEndian_ ? (first << 8) | second : (second << 8) | first);
  return true;
}

LineStatus InputLineReader::NextWide(std::string* line) {
  std::u16string units;  // at most one buffer's worth; a longer line is too long anyway
  size_t count = 0;
  bool sawAny = false;
  bool lineFeed = false;
  bool wellFormed = true;
  char16_t previous = 0;
  char16_t unit = 0;
  while (NextUnit(&unit)) {
    sawAny = true;
    if (unit == u'\n') {
      lineFeed = true;
      break;
    }
    // Every high surrogate must be followed by a low one, and only by one.
    if (IsHighSurrogate(previous) != IsLowSurrogate(unit)) wellFormed = false;
    previous = unit;
    if (count++ <= kLineBufferSize) units.push_back(unit);
  }
  if (!sawAny) return LineStatus::kEnd;
  if (IsHighSurrogate(previous)) wellFormed = false;
  if (!units.empty() && units.back() == u'\r' && count == units.size()) {
    units.pop_back();
    --count;
  }
  if (count > kLineBufferSize) return LineStatus::kTooLong;
  if (!wellFormed) return LineStatus::kUndecodable;
  // The conversion stops at a zero unit, so each stretch between them goes
  // on its own and the NUL stays in the line, to be refused as in UTF-8.
  size_t begin = 0;
  for (size_t zero = units.find(u'\0'); zero != std::u16string::npos;
       begin = zero + 1, zero = units.find(u'\0', begin)) {
    *line += WideToNarrow(std::u16string_view(units).substr(begin, zero - begin));
    line->push_back('\0');
  }
  *line += WideToNarrow(std::u16string_view(units).substr(begin));
  return Fits(line->size(), lineFeed) ? LineStatus::kLine : LineStatus::kTooLong;
}

}  // namespace varnel
