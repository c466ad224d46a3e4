// The work of a run: one item per DN to act on, in input order, and the count
// of input lines that could not be taken.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace varnel {

struct WorkItem {
  std::string dn;            // as given, quotes removed
  std::string overrideText;  // data field of the input line; empty for -b
  size_t lineNumber = 0;     // the input line it came from; 0 for -b
};

struct WorkList {
  std::vector<WorkItem> items;
  size_t skippedLines = 0;  // too long, holding a NUL byte or undecodable
};

}  // namespace varnel
