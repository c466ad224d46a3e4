// Process-wide output settings: the quiet (-q) and debug (-d) flags that every
// printing component consults, and the end-of-line rule (line feed + flush).
#pragma once

#include <ostream>

namespace varnel {

struct ConsoleFlags {
  bool quiet = false;
  bool debug = false;
};

// The flags are set once by the run driver and read everywhere else.
void SetConsoleFlags(ConsoleFlags flags);
bool Quiet();
bool Debug();

// Writes a line feed and flushes the stream.
std::ostream& EndLine(std::ostream& os);

}  // namespace varnel
