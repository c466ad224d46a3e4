// The run's list of work items: the one DN of -b, or one DN per standard
// input line with optional override text after the field delimiter; and the
// safety limit on their number.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace varnel {

class LdapConnection;
struct RunSettings;

struct WorkItem {
  std::string dn;            // as the directory stores it, else as given
  std::string overrideText;  // data field of the input line; empty for -b
};

// Lines this long or longer (line feed included) do not fit the line buffer.
inline constexpr size_t kLineBufferSize = 10240;

struct InputLine {
  std::string dnField;
  std::string dataField;
};

// Cuts one input line at the first field delimiter; the data field loses one
// trailing delimiter. An empty delimiter leaves the whole line as the DN.
InputLine SplitInputLine(const std::string& line, const std::string& fieldDelimiter);

// Reads the work items: the -b value when settings.singleDn, otherwise every
// line of `in`. Each DN costs one directory read to learn its stored form.
std::vector<WorkItem> CollectWorkItems(LdapConnection& session, const RunSettings& settings,
                                       std::istream& in);

// Prints the DN count (unless quiet); returns false after printing the safety
// message when there are more items than the limit allows.
bool CheckSafety(size_t count, uint32_t safety, bool quiet);

}  // namespace varnel
