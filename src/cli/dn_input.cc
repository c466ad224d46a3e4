#include "cli/dn_input.h"

#include <strings.h>

#include "cli/input_lines.h"
#include "diag/item_lines.h"
#include "diag/reporter.h"
#include "exchange/run_settings.h"
#include "ldap/ldif_dn_reader.h"
#include "ldap/ldif_record.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

std::string TooLongLine() {
  return "Skipped an input line longer than " + std::to_string(kLineBufferSize - 1) +
         " characters.";
}

enum class ListLine {
  kText,     // a line to take
  kSkipped,  // a line that could not be taken; warned about and counted
  kEnd,
};

// The lines of the list, with the lines no form can take warned about and
// counted as skipped.
class ListLines {
 public:
  ListLines(ItemLines& shown, std::istream& in, const StopRequest* stop, WorkList* list)
      : shown_(shown), reader_(in, stop), list_(list) {}

  ListLine Next(std::string* line) {
    const LineStatus status = reader_.Next(line);
    switch (status) {
      case LineStatus::kEnd:
        return ListLine::kEnd;
      case LineStatus::kTooLong:
        Skip(TooLongLine());
        return ListLine::kSkipped;
      case LineStatus::kUndecodable:
        Skip("Skipped input line " + std::to_string(reader_.LineNumber()) +
             ", which is not valid UTF-16.");
        return ListLine::kSkipped;
      case LineStatus::kLine:
        break;
    }
    if (line->find('\0') != std::string::npos) {
      // A DN cannot hold a NUL byte, and the library would cut it short there.
      Skip("Skipped an input line holding a NUL byte.");
      return ListLine::kSkipped;
    }
    return ListLine::kText;
  }

  size_t LineNumber() const { return reader_.LineNumber(); }

  void Skip(std::string reason, size_t lineNumber = 0) {
    shown_.ErrLine("WARN: " + reason);
    list_->skipped.push_back(
        {lineNumber != 0 ? lineNumber : reader_.LineNumber(), std::move(reason)});
  }

 private:
  ItemLines& shown_;
  InputLineReader reader_;
  WorkList* list_;
};

// A DN of nothing but blanks names no object: the server would take it for
// the RootDSE's empty DN.
bool IsBlank(const std::string& dn) { return dn.find_first_not_of(" \t") == std::string::npos; }

// Whether the first line of the list that is not empty makes it LDIF. No
// DN starts with "dn:" or "version:", so a plain list never does.
bool StartsLdif(const std::string& line) {
  return strncasecmp(line.c_str(), "dn:", 3) == 0 || strncasecmp(line.c_str(), "version:", 8) == 0;
}

// Reads the rest of the list as LDIF, `first` being its first line that is
// not empty. Each record gives the item of its DN, exactly as written (no
// quotes are removed, no override field); to run again it is written as a
// record of its own.
void CollectLdifItems(ItemLines& shown, ListLines& lines, const std::string& first,
                      WorkList* list) {
  bool firstGiven = false;
  auto next = [&]() -> LdifSourceLine {
    if (!firstGiven) {
      firstGiven = true;
      return {LdifSourceLine::Kind::kText, first};
    }
    std::string line;
    switch (lines.Next(&line)) {
      case ListLine::kText:
        return {LdifSourceLine::Kind::kText, std::move(line)};
      case ListLine::kSkipped:
        return {LdifSourceLine::Kind::kUnusable, ""};
      case ListLine::kEnd:
        break;
    }
    return {LdifSourceLine::Kind::kEnd, ""};
  };
  // A folded line, once joined, is held to what a line with its line feed may hold.
  LdifDnReader reader(next, lines.LineNumber() - 1, kLineBufferSize - 2);
  while (std::optional<LdifDnRecord> record = reader.Next()) {
    const std::string where = "Skipped the LDIF record at line " + std::to_string(record->line);
    switch (record->kind) {
      case LdifDnRecord::Kind::kDn:
        break;
      case LdifDnRecord::Kind::kVersion:
        continue;
      case LdifDnRecord::Kind::kNoDn:
        lines.Skip(where + ", which has no dn: line.", record->line);
        continue;
      case LdifDnRecord::Kind::kInvalid:
        lines.Skip(where + ", which is not valid LDIF.", record->line);
        continue;
      case LdifDnRecord::Kind::kUnusableLine:
        lines.Skip(where + ", which holds a line that was skipped.", record->line);
        continue;
      case LdifDnRecord::Kind::kLongLine:
        lines.Skip(TooLongLine(), record->line);
        continue;
    }
    if (record->dn.find('\0') != std::string::npos) {
      lines.Skip(where + ", whose DN holds a NUL byte.", record->line);
      continue;
    }
    shown.Trace("DEBUG: DN   - " + record->dn);
    list->items.push_back({record->dn, "", record->line, LdifDnLine(record->dn)});
  }
}

}  // namespace

InputLine SplitInputLine(const std::string& line, const std::string& fieldDelimiter) {
  if (fieldDelimiter.empty()) return {line, ""};
  std::vector<std::string> fields;
  SplitMax(line, fieldDelimiter, &fields, 2);
  return {fields[0], fields[1]};
}

bool NamesObject(const std::string& singleDn) { return !IsBlank(RemoveQuotes(singleDn)); }

WorkList CollectWorkItems(ItemLines& shown, const RunSettings& settings, std::istream& in,
                          const StopRequest* stop) {
  WorkList list;
  if (settings.singleDn) {
    if (NamesObject(settings.dn))
      list.items.push_back({RemoveQuotes(settings.dn), "", 0, settings.dn});
    return list;
  }
  shown.Trace(settings.dnListPath.empty() ? "DEBUG: Reading from STDIN..."
                                          : "DEBUG: Reading from " + settings.dnListPath + "...");
  ListLines lines(shown, in, stop, &list);
  std::string line;
  bool formKnown = false;
  for (;;) {
    const ListLine status = lines.Next(&line);
    if (status == ListLine::kEnd) break;
    if (status == ListLine::kSkipped || IsBlank(line)) continue;
    if (!formKnown) {
      formKnown = true;
      if (StartsLdif(line)) {
        CollectLdifItems(shown, lines, line, &list);
        break;
      }
    }
    InputLine fields = SplitInputLine(line, settings.fieldDelimiter);
    shown.Trace("DEBUG: DN   - " + fields.dnField);
    shown.Trace("DEBUG: DATA - " + fields.dataField);
    std::string dn = RemoveQuotes(fields.dnField);
    // `""`, `"`, blanks or nothing before the delimiter: as empty as an
    // empty line.
    if (IsBlank(dn)) continue;
    list.items.push_back({std::move(dn), RemoveQuotes(fields.dataField), lines.LineNumber(), line});
  }
  return list;
}

WorkList CollectWorkItems(Reporter& reporter, const RunSettings& settings, std::istream& in,
                          const StopRequest* stop) {
  ItemLines shown = reporter.Lines();
  WorkList list = CollectWorkItems(shown, settings, in, stop);
  reporter.Show(shown);
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
