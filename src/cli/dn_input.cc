#include "cli/dn_input.h"

#include "cli/input_lines.h"
#include "diag/reporter.h"
#include "exchange/run_settings.h"
#include "text/string_helpers.h"

namespace varnel {

InputLine SplitInputLine(const std::string& line, const std::string& fieldDelimiter) {
  if (fieldDelimiter.empty()) return {line, ""};
  std::vector<std::string> fields;
  SplitMax(line, fieldDelimiter, &fields, 2);
  return {fields[0], fields[1]};
}

WorkList CollectWorkItems(Reporter& reporter, const RunSettings& settings, std::istream& in) {
  WorkList list;
  if (settings.singleDn) {
    // An empty DN would name the RootDSE: it is no object to act on.
    std::string dn = RemoveQuotes(settings.dn);
    if (!dn.empty()) list.items.push_back({std::move(dn), "", 0, settings.dn});
    return list;
  }
  if (reporter.debug()) reporter.out() << "DEBUG: Reading from STDIN..." << EndLine;
  InputLineReader reader(in);
  std::string line;
  auto skip = [&](std::string reason) {
    reporter.err() << "WARN: " << reason << EndLine;
    list.skipped.push_back({reader.LineNumber(), std::move(reason)});
  };
  for (;;) {
    const LineStatus status = reader.Next(&line);
    if (status == LineStatus::kEnd) break;
    if (status == LineStatus::kTooLong) {
      skip("Skipped an input line longer than " + std::to_string(kLineBufferSize - 1) +
           " characters.");
      continue;
    }
    if (status == LineStatus::kUndecodable) {
      skip("Skipped input line " + std::to_string(reader.LineNumber()) +
           ", which is not valid UTF-16.");
      continue;
    }
    if (line.empty()) continue;
    if (line.find('\0') != std::string::npos) {
      // A DN cannot hold a NUL byte, and the library would cut it short there.
      skip("Skipped an input line holding a NUL byte.");
      continue;
    }
    InputLine fields = SplitInputLine(line, settings.fieldDelimiter);
    if (reporter.debug()) {
      reporter.out() << "DEBUG: DN   - " << fields.dnField << EndLine;
      reporter.out() << "DEBUG: DATA - " << fields.dataField << EndLine;
    }
    std::string dn = RemoveQuotes(fields.dnField);
    // `""`, `"` or nothing before the delimiter: as empty as an empty line.
    if (dn.empty()) continue;
    list.items.push_back(
        {std::move(dn), RemoveQuotes(fields.dataField), reader.LineNumber(), line});
  }
  return list;
}

bool CheckSafety(Reporter& reporter, size_t count, uint32_t safety) {
  if (!reporter.quiet()) reporter.out() << "DN Count: " << count << EndLine;
  if (count <= safety) return true;
  reporter.out() << EndLine;
  reporter.out() << "More DNs than allowed for by safety setting of " << safety << EndLine;
  reporter.out() << "Use safety parameter to specify larger safety size.\n" << EndLine;
  reporter.out() << "The command did not complete successfully" << EndLine;
  return false;
}

}  // namespace varnel
