// The DN input reader, its line splitter and the safety check. Input layout:
// one control byte (bit 0 debug, bit 1 quiet, bit 4 the -b form, bits 5-7 the
// safety limit), the field delimiter as a length byte and its bytes, then
// standard input (or, for -b, the DN up to its first zero byte).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dn_input.h"
#include "diag/reporter.h"
#include "exchange/run_settings.h"
#include "fuzz_support.h"
#include "reference_text.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

// Every line of the code under test goes through this reporter.
Reporter reporter_{std::cout, std::cerr};

// Quote removal as documented: a backslash keeps itself and the next
// character; any other double quote goes.
std::string Unquoted(const std::string& text) {
  std::string result;
  bool escaped = false;
  for (char c : text) {
    if (escaped || c != '"') result.push_back(c);
    escaped = !escaped && c == '\\';
  }
  return result;
}

void CheckSplitInputLine(const std::string& line, const std::string& delimiter) {
  const InputLine fields = SplitInputLine(line, delimiter);
  const size_t found = delimiter.empty() ? std::string::npos : line.find(delimiter);
  if (found == std::string::npos) {
    VARNEL_FUZZ_CHECK(fields.dnField == line);
    VARNEL_FUZZ_CHECK(fields.dataField.empty());
    return;
  }
  // The DN ends at the first delimiter; the data is the rest, less one
  // delimiter that closes it.
  VARNEL_FUZZ_CHECK(fields.dnField == line.substr(0, found));
  std::string rest = line.substr(found + delimiter.size());
  if (ReferenceEndsWithDelimiter(rest, delimiter)) rest.resize(rest.size() - delimiter.size());
  VARNEL_FUZZ_CHECK(fields.dataField == rest);
}

// The items the reader should produce from `input` (narrow text, a UTF-8
// byte-order mark already taken off), line by line.
// Sets *ldif (and returns nothing) when the list is LDIF.
// A DN of nothing but blanks names nothing, as an empty one does.
bool Blank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

std::vector<WorkItem> ExpectedItems(const std::string& input, const std::string& delimiter,
                                    bool* ldif) {
  std::vector<WorkItem> expected;
  bool formKnown = false;
  size_t begin = 0;
  size_t number = 0;
  while (begin < input.size()) {
    const size_t end = input.find('\n', begin);
    const bool lineFeed = end != std::string::npos;
    std::string line = input.substr(begin, lineFeed ? end - begin : std::string::npos);
    begin = lineFeed ? end + 1 : input.size();
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() + (lineFeed ? 1 : 0) >= kLineBufferSize) continue;
    if (Blank(line) || line.find('\0') != std::string::npos) continue;
    // The first line taken decides the form: LDIF has a reader of its own.
    if (!formKnown) {
      formKnown = true;
      std::string head = line.substr(0, 8);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (head.starts_with("dn:") || head.starts_with("version:")) {
        *ldif = true;
        return {};
      }
    }
    CheckSplitInputLine(line, delimiter);
    const InputLine fields = SplitInputLine(line, delimiter);
    // A line whose DN is empty or blank once its quotes are gone names
    // nothing.
    if (Blank(Unquoted(fields.dnField))) continue;
    expected.push_back({Unquoted(fields.dnField), Unquoted(fields.dataField), number, line});
  }
  return expected;
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel;
  using namespace varnel::fuzz;
  InputReader input(data, size);
  const uint8_t control = input.Byte();
  RunSettings settings;
  settings.fieldDelimiter = input.ShortText(8);
  settings.singleDn = (control & 0x10) != 0;
  const std::string rest = input.Rest();
  if (settings.singleDn) settings.dn = rest.substr(0, rest.find('\0'));  // as argv gives it

  std::istringstream in(rest);
  WorkList list;
  {
    SilencedStreams silence;
    reporter_.Configure({.quiet = (control & 2) != 0, .debug = (control & 1) != 0});
    list = CollectWorkItems(reporter_, settings, in);
    reporter_.Configure({});
  }
  const std::vector<WorkItem>& items = list.items;

  for (const WorkItem& item : items) {
    VARNEL_FUZZ_CHECK(item.dn.find('\0') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.overrideText.find('\0') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.dn.size() < kLineBufferSize || settings.singleDn);
  }

  // The safety check lets through exactly the counts within the limit.
  const uint32_t safety = control >> 5;  // 0 .. 7
  {
    SilencedStreams silence;
    reporter_.Configure({.quiet = (control & 2) != 0});
    VARNEL_FUZZ_CHECK(CheckSafety(reporter_, items.size(), safety) == (items.size() <= safety));
    reporter_.Configure({});
  }

  if (settings.singleDn && Blank(Unquoted(settings.dn))) {
    VARNEL_FUZZ_CHECK(items.empty());  // an empty DN names nothing, not the RootDSE
    return 0;
  }
  if (settings.singleDn) {
    VARNEL_FUZZ_CHECK(items.size() == 1);
    VARNEL_FUZZ_CHECK(items[0].dn == Unquoted(settings.dn));
    VARNEL_FUZZ_CHECK(items[0].overrideText.empty());
    VARNEL_FUZZ_CHECK(in.tellg() == 0);  // standard input is left unread
    return 0;
  }

  // UTF-16 input is decoded first, and LDIF is read by the LDIF reader; only
  // the invariants above hold for them.
  if (rest.starts_with("\xFF\xFE") || rest.starts_with("\xFE\xFF")) return 0;
  bool ldif = false;
  const std::vector<WorkItem> expected = ExpectedItems(
      rest.starts_with("\xEF\xBB\xBF") ? rest.substr(3) : rest, settings.fieldDelimiter, &ldif);
  if (ldif) return 0;  // read by the LDIF reader; only the invariants above hold
  VARNEL_FUZZ_CHECK(items.size() == expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    VARNEL_FUZZ_CHECK(items[i].dn == expected[i].dn);
    VARNEL_FUZZ_CHECK(items[i].overrideText == expected[i].overrideText);
    VARNEL_FUZZ_CHECK(items[i].lineNumber == expected[i].lineNumber);
    // The line to run again is the line as read, carriage return dropped.
    VARNEL_FUZZ_CHECK(items[i].inputLine == expected[i].inputLine);
  }
  VARNEL_FUZZ_CHECK(in.eof());
  return 0;
}
