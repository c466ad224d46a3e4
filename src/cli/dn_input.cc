#include "cli/dn_input.h"

#include <iostream>

#include "cli/run_settings.h"
#include "diag/console.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

enum class LineStatus { kLine, kTooLong, kEnd };

// Reads one line into *line (without its line feed and a carriage return
// before it), storing at most one buffer's worth; the rest of an over-long
// line is consumed and dropped.
LineStatus ReadLine(std::istream& in, std::string* line) {
  line->clear();
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr || !in.good()) return LineStatus::kEnd;
  size_t length = 0;
  bool sawAny = false;
  bool lineFeed = false;
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    sawAny = true;
    if (c == '\n') {
      lineFeed = true;
      break;
    }
    if (length < kLineBufferSize + 1) line->push_back(static_cast<char>(c));
    ++length;
  }
  if (!sawAny) return LineStatus::kEnd;
  if (!line->empty() && line->back() == '\r' && length == line->size()) {
    line->pop_back();
    --length;
  }
  if (length + (lineFeed ? 1 : 0) >= kLineBufferSize) {
    line->clear();
    return LineStatus::kTooLong;
  }
  return LineStatus::kLine;
}

}  // namespace

InputLine SplitInputLine(const std::string& line, const std::string& fieldDelimiter) {
  if (fieldDelimiter.empty()) return {line, ""};
  std::vector<std::string> fields;
  SplitMax(line, fieldDelimiter, &fields, 2);
  return {fields[0], fields[1]};
}

std::vector<WorkItem> CollectWorkItems(LdapConnection& session, const RunSettings& settings,
                                       std::istream& in) {
  std::vector<WorkItem> items;
  if (settings.singleDn) {
    items.push_back({LdapGetDN(session, ReplaceAll(settings.dn, "\"", "")), ""});
    return items;
  }
  if (Debug()) std::cout << "DEBUG: Reading from STDIN..." << EndLine;
  std::string line;
  for (;;) {
    LineStatus status = ReadLine(in, &line);
    if (status == LineStatus::kEnd) break;
    if (status == LineStatus::kTooLong) {
      std::cerr << "WARN: Skipped an input line longer than " << kLineBufferSize - 1
                << " characters." << EndLine;
      continue;
    }
    if (line.empty()) continue;
    if (line.find('\0') != std::string::npos) {
      // A DN cannot hold a NUL byte, and the library would cut it short there.
      std::cerr << "WARN: Skipped an input line holding a NUL byte." << EndLine;
      continue;
    }
    InputLine fields = SplitInputLine(line, settings.fieldDelimiter);
    if (Debug()) {
      std::cout << "DEBUG: DN   - " << fields.dnField << EndLine;
      std::cout << "DEBUG: DATA - " << fields.dataField << EndLine;
    }
    std::string dn = ReplaceAll(fields.dnField, "\"", "");
    items.push_back({LdapGetDN(session, dn), ReplaceAll(fields.dataField, "\"", "")});
  }
  return items;
}

bool CheckSafety(size_t count, uint32_t safety, bool quiet) {
  if (!quiet) std::cout << "DN Count: " << count << EndLine;
  if (count <= safety) return true;
  std::cout << EndLine;
  std::cout << "More DNs than allowed for by safety setting of " << safety << EndLine;
  std::cout << "Use safety parameter to specify larger safety size.\n" << EndLine;
  std::cout << "The command did not complete successfully" << EndLine;
  return false;
}

}  // namespace varnel
