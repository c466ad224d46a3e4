// The work of a run: one item per DN to act on, in input order, and the input
// lines that could not be taken.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace varnel {

struct WorkItem {
  std::string dn;            // as given, quotes removed
  std::string overrideText;  // data field of the input line; empty for -b
  size_t lineNumber = 0;     // the input line it came from; 0 for -b
  std::string inputLine;     // the line as read (the -b value for -b), to run again
};

struct SkippedLine {
  size_t lineNumber = 0;
  std::string reason;  // the warning's text, without "WARN: "
};

struct WorkList {
  std::vector<WorkItem> items;
  std::vector<SkippedLine> skipped;  // too long, holding a NUL byte or undecodable
};

}  // namespace varnel
