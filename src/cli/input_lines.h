// The lines of the DN input as UTF-8 text, in the forms Windows tools write
// them as well: a UTF-8 byte-order mark is skipped, and input that starts with
// a UTF-16 byte-order mark (little or big endian) is decoded to UTF-8.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace varnel {

class StopRequest;

// Lines this long or longer (line feed included) do not fit the line buffer.
inline constexpr size_t kLineBufferSize = 10240;

enum class LineStatus {
  kLine,         // a line, without its line feed and a carriage return before it
  kTooLong,      // a line that does not fit the line buffer; its text is dropped
  kUndecodable,  // a UTF-16 line that is not well-formed (a lone surrogate, an odd byte)
  kEnd,          // no more input
};

class InputLineReader {
 public:
  // With `stop`, a stop asked for ends the input before the next read of
  // `in`: the line under way is dropped and Next returns kEnd.
  explicit InputLineReader(std::istream& in, const StopRequest* stop = nullptr);

  // Reads the next line into *line; at most one buffer's worth is ever held.
  LineStatus Next(std::string* line);

  // The number of the line that Next returned last, counting from 1.
  size_t LineNumber() const { return lineNumber_; }

 private:
  int NextByte();
  int ReadByte();  // from the stream, after the bytes held back
  LineStatus NextNarrow(std::string* line);
  LineStatus NextWide(std::string* line);
  bool NextUnit(char16_t* unit);

  std::istream& in_;
  const StopRequest* stop_;
  bool stopped_ = false;
  std::string pending_;  // bytes read while looking for a byte-order mark
  size_t pendingAt_ = 0;
  bool wide_ = false;
  bool bigEndian_ = false;
  size_t lineNumber_ = 0;
};

}  // namespace varnel
