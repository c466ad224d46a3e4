#include "cli/input_lines.h"

namespace varnel {
namespace {

constexpr int kEof = std::char_traits<char>::eof();

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Whether a line of `length` bytes (and a line feed after it, if any) fits
// the line buffer.
bool Fits(size_t length, bool lineFeed) { return length + (lineFeed ? 1 : 0) < kLineBufferSize; }

}  // namespace

InputLineReader::InputLineReader(std::istream& in) : in_(in) {
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr || !in_.good()) return;
  // Up to three bytes decide the form; they are served again when they are
  // not a byte-order mark.
  for (int i = 0; i < 3; ++i) {
    const int c = buffer->sbumpc();
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
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr || !in_.good()) return kEof;
  const int c = buffer->sbumpc();
  if (c == kEof) in_.setstate(std::ios::eofbit);
  return c;
}

LineStatus InputLineReader::Next(std::string* line) {
  line->clear();
  const LineStatus status = wide_ ? NextWide(line) : NextNarrow(line);
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
  size_t length = 0;  // in UTF-8 bytes
  bool sawAny = false;
  bool lineFeed = false;
  bool wellFormed = true;
  char16_t highSurrogate = 0;
  char16_t unit = 0;
  while (NextUnit(&unit)) {
    sawAny = true;
    if (unit == u'\n') {
      lineFeed = true;
      break;
    }
    char32_t code = unit;
    if (highSurrogate != 0) {
      if (!IsLowSurrogate(unit)) {
        wellFormed = false;
        highSurrogate = 0;
        continue;
      }
      code = 0x10000 + ((char32_t{highSurrogate} - 0xD800) << 10) + (unit - 0xDC00);
      highSurrogate = 0;
    } else if (IsHighSurrogate(unit)) {
      highSurrogate = unit;
      continue;
    } else if (IsLowSurrogate(unit)) {
      wellFormed = false;
      continue;
    }
    const size_t before = line->size();
    if (length <= kLineBufferSize) AppendUtf8(code, line);
    length += line->size() - before;
    if (line->size() == before) length += code < 0x80 ? 1 : 4;  // dropped, counted roughly
  }
  if (!sawAny) return LineStatus::kEnd;
  if (highSurrogate != 0) wellFormed = false;
  if (!line->empty() && line->back() == '\r' && length == line->size()) {
    line->pop_back();
    --length;
  }
  if (!Fits(length, lineFeed)) return LineStatus::kTooLong;
  return wellFormed ? LineStatus::kLine : LineStatus::kUndecodable;
}

}  // namespace varnel
