// The lines one work item shows, held as text while its plan is made: what
// goes to standard output, then what goes to standard error. The run shows
// them in the item's turn; nothing here touches a stream.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

struct ItemLines {
  bool debug = false;  // the "DEBUG:" traces are kept
  std::string out;
  std::string err;

  // One line of standard output.
  void Out(std::string_view line) {
    out.append(line);
    out += '\n';
  }
  // One trace line of standard output, kept only with debug.
  void Trace(std::string_view line) {
    if (debug) Out(line);
  }
};

}  // namespace varnel
