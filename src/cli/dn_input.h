// The run's list of work items: the one DN of -b, or the DN list (standard
// input or the -f file) in one of two forms: one DN per line with optional
// override text after the field delimiter, or LDIF (its first line that is
// not empty starts with "dn:" or "version:"), one item per record. And the
// safety limit on their number. Reading the list touches no directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "cli/input_lines.h"
#include "exchange/work_item.h"

namespace varnel {

class ItemLines;
class Reporter;
class StopRequest;

struct RunSettings;

struct InputLine {
  std::string dnField;
  std::string dataField;
};

// Cuts one input line at the first field delimiter; the data field loses one
// trailing delimiter. An empty delimiter leaves the whole line as the DN.
InputLine SplitInputLine(const std::string& line, const std::string& fieldDelimiter);

// Whether the text of -b names an object: quotes removed, a DN of nothing
// but blanks would name the RootDSE, which is no object to act on.
bool NamesObject(const std::string& singleDn);

// Reads the work items: the -b value when settings.singleDn, otherwise every
// line or LDIF record of `in`. A line or record that cannot be taken is
// skipped with a "WARN:" line on standard error and counted. A stop asked
// for by `stop` ends the reading before the next read of `in`.
WorkList CollectWorkItems(Reporter& reporter, const RunSettings& settings, std::istream& in,
                          const StopRequest* stop = nullptr);
// The same, its lines added to `shown` to be shown later.
WorkList CollectWorkItems(ItemLines& shown, const RunSettings& settings, std::istream& in,
                          const StopRequest* stop = nullptr);

// Prints the DN count (unless quiet); returns false after printing the safety
// message when there are more items than the limit allows.
bool CheckSafety(Reporter& reporter, size_t count, uint32_t safety);

}  // namespace varnel
