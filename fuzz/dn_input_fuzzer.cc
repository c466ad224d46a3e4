// The DN input reader, its line splitter and the safety check. Input layout:
// one control byte (bit 0 debug, bit 1 quiet, bits 2-3 how the directory
// answers, bit 4 the -b form, bits 5-7 the safety limit), the field delimiter
// as a length byte and its bytes, then standard input (or, for -b, the DN up
// to its first zero byte).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dn_input.h"
#include "cli/run_settings.h"
#include "diag/console.h"
#include "fuzz_support.h"
#include "ldap/ldap_connection.h"
#include "reference_text.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

enum class Answer { kFail, kNoEntry, kStoredForm, kEmptyDn };

// A directory that answers every search the same way; the stored form of a
// DN is its upper-case spelling.
class ScriptedConnection : public LdapConnection {
 public:
  explicit ScriptedConnection(Answer answer) : answer_(answer) {}

  int SetOption(LdapOption, int) override { return 0; }
  int SimpleBind(const std::string*, const std::string*) override { return 0; }
  int NegotiateBind(const NegotiateIdentity*) override { return 0; }
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override {
    bases.push_back(request.base);
    switch (answer_) {
      case Answer::kFail:
        return 0x20;  // no such object
      case Answer::kNoEntry:
        return 0;
      case Answer::kStoredForm:
        entries->push_back({UpperCase(request.base), {}});
        return 0;
      case Answer::kEmptyDn:
        entries->push_back({"", {}});
        return 0;
    }
    return 0;
  }
  int Modify(const std::string&, const std::vector<LdapModification>&) override { return 0x32; }
  std::optional<std::string> DiagnosticMessage() override { return std::nullopt; }

  std::vector<std::string> bases;

 private:
  Answer answer_;
};

std::string Unquoted(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != '"') result.push_back(c);
  }
  return result;
}

std::string StoredForm(Answer answer, const std::string& dn) {
  return answer == Answer::kStoredForm ? UpperCase(dn) : dn;
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

struct Expected {
  std::vector<WorkItem> items;
  std::vector<std::string> searchBases;
};

// The items the reader should produce from `input`, line by line.
Expected ExpectedItems(const std::string& input, const std::string& delimiter, Answer answer) {
  Expected expected;
  size_t begin = 0;
  while (begin < input.size()) {
    const size_t end = input.find('\n', begin);
    const bool lineFeed = end != std::string::npos;
    std::string line = input.substr(begin, lineFeed ? end - begin : std::string::npos);
    begin = lineFeed ? end + 1 : input.size();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() + (lineFeed ? 1 : 0) >= kLineBufferSize) continue;
    if (line.empty() || line.find('\0') != std::string::npos) continue;
    CheckSplitInputLine(line, delimiter);
    const InputLine fields = SplitInputLine(line, delimiter);
    const std::string dn = Unquoted(fields.dnField);
    expected.items.push_back({StoredForm(answer, dn), Unquoted(fields.dataField)});
    expected.searchBases.push_back(dn);
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
  const Answer answer = static_cast<Answer>((control >> 2) & 3);
  RunSettings settings;
  settings.fieldDelimiter = input.ShortText(8);
  settings.singleDn = (control & 0x10) != 0;
  const std::string rest = input.Rest();
  if (settings.singleDn) settings.dn = rest.substr(0, rest.find('\0'));  // as argv gives it

  ScriptedConnection session(answer);
  std::istringstream in(rest);
  std::vector<WorkItem> items;
  {
    SilencedStreams silence;
    SetConsoleFlags({.quiet = (control & 2) != 0, .debug = (control & 1) != 0});
    items = CollectWorkItems(session, settings, in);
    SetConsoleFlags({});
  }

  for (const WorkItem& item : items) {
    VARNEL_FUZZ_CHECK(item.dn.find('"') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.dn.find('\0') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.overrideText.find('"') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.overrideText.find('\0') == std::string::npos);
    VARNEL_FUZZ_CHECK(item.dn.size() < kLineBufferSize || settings.singleDn);
  }
  // One directory read per item, for the DN as given.
  VARNEL_FUZZ_CHECK(session.bases.size() == items.size());

  // The safety check lets through exactly the counts within the limit.
  const uint32_t safety = control >> 5;  // 0 .. 7
  {
    SilencedStreams silence;
    VARNEL_FUZZ_CHECK(CheckSafety(items.size(), safety, (control & 2) != 0) ==
                      (items.size() <= safety));
  }

  if (settings.singleDn) {
    VARNEL_FUZZ_CHECK(items.size() == 1);
    VARNEL_FUZZ_CHECK(session.bases[0] == Unquoted(settings.dn));
    VARNEL_FUZZ_CHECK(items[0].dn == StoredForm(answer, Unquoted(settings.dn)));
    VARNEL_FUZZ_CHECK(items[0].overrideText.empty());
    VARNEL_FUZZ_CHECK(in.tellg() == 0);  // standard input is left unread
    return 0;
  }

  const Expected expected = ExpectedItems(rest, settings.fieldDelimiter, answer);
  VARNEL_FUZZ_CHECK(items.size() == expected.items.size());
  VARNEL_FUZZ_CHECK(session.bases == expected.searchBases);
  for (size_t i = 0; i < items.size(); ++i) {
    VARNEL_FUZZ_CHECK(items[i].dn == expected.items[i].dn);
    VARNEL_FUZZ_CHECK(items[i].overrideText == expected.items[i].overrideText);
  }
  VARNEL_FUZZ_CHECK(in.eof());
  return 0;
}
