// Split, SplitMax, ReplaceFirst, ReplaceAll and the case folds with arbitrary
// text, delimiter and replacement. Input layout: delimiter length byte and
// delimiter, one byte for SplitMax's maximum, replacement length byte and
// replacement, then the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reference_text.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

// Texts this long or shorter are also checked against the quadratic model.
constexpr size_t kModelLimit = 1024;

void CheckSplit(const std::string& text, const std::string& delimiter) {
  const std::vector<std::string> expected = ReferenceSplit(text, delimiter);

  std::vector<std::string> fields;
  const int count = Split(text, delimiter, &fields);
  VARNEL_FUZZ_CHECK(count >= 0 && static_cast<size_t>(count) == fields.size());
  VARNEL_FUZZ_CHECK(fields == expected);
  VARNEL_FUZZ_CHECK(text.empty() == fields.empty());
  if (!delimiter.empty()) {
    for (const std::string& field : fields) {
      VARNEL_FUZZ_CHECK(field.find(delimiter) == std::string::npos);
    }
  }

  // Joining the fields gives the text back, less the one closing delimiter
  // whose empty field is dropped.
  std::string joined;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) joined += delimiter;
    joined += fields[i];
  }
  if (ReferenceEndsWithDelimiter(text, delimiter)) joined += delimiter;
  VARNEL_FUZZ_CHECK(joined == text);

  // The count is that of the whole list, entries already there included.
  std::vector<std::string> prefilled = {"first"};
  const int total = Split(text, delimiter, &prefilled);
  VARNEL_FUZZ_CHECK(static_cast<size_t>(total) == prefilled.size());
  VARNEL_FUZZ_CHECK(prefilled.size() == fields.size() + 1 && prefilled.front() == "first");
}

void CheckSplitMax(const std::string& text, const std::string& delimiter, int maximum) {
  const ReferenceSplitMaxResult expected = ReferenceSplitMax(text, delimiter, maximum);
  std::vector<std::string> fields;
  const int count = SplitMax(text, delimiter, &fields, maximum);
  VARNEL_FUZZ_CHECK(count == expected.count);
  VARNEL_FUZZ_CHECK(fields == expected.fields);
  if (maximum >= 1) {
    VARNEL_FUZZ_CHECK(fields.size() == static_cast<size_t>(maximum));
    VARNEL_FUZZ_CHECK(count <= maximum);
  }
}

void CheckReplace(const std::string& text, const std::string& pattern,
                  const std::string& replacement) {
  const std::string first = ReplaceFirst(text, pattern, replacement);
  const size_t found = pattern.empty() ? std::string::npos : text.find(pattern);
  if (found == std::string::npos) {
    VARNEL_FUZZ_CHECK(first == text);
  } else {
    VARNEL_FUZZ_CHECK(first ==
                      text.substr(0, found) + replacement + text.substr(found + pattern.size()));
  }

  const std::string all = ReplaceAll(text, pattern, replacement);
  if (pattern.empty()) {
    VARNEL_FUZZ_CHECK(all == text);
  } else if (replacement.size() < pattern.size()) {
    // Nothing of the pattern is left, however the replacements joined up.
    VARNEL_FUZZ_CHECK(all.find(pattern) == std::string::npos);
    VARNEL_FUZZ_CHECK(all.size() <= text.size());
    if (text.size() <= kModelLimit) {
      VARNEL_FUZZ_CHECK(all == ReferenceRemoveRepeatedly(text, pattern, replacement));
    }
  } else {
    VARNEL_FUZZ_CHECK(all == ReferenceReplaceOnce(text, pattern, replacement));
  }
}

void CheckCaseFolding(const std::string& text) {
  const std::string lower = LowerCase(text);
  const std::string upper = UpperCase(text);
  VARNEL_FUZZ_CHECK(lower.size() == text.size() && upper.size() == text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool upperLetter = c >= 'A' && c <= 'Z';
    const bool lowerLetter = c >= 'a' && c <= 'z';
    VARNEL_FUZZ_CHECK(lower[i] == (upperLetter ? static_cast<char>(c + ('a' - 'A')) : c));
    VARNEL_FUZZ_CHECK(upper[i] == (lowerLetter ? static_cast<char>(c - ('a' - 'A')) : c));
  }
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel::fuzz;
  InputReader input(data, size);
  const std::string delimiter = input.ShortText(6);
  const int maximum = static_cast<int>(input.Byte() % 9) - 2;  // -2 .. 6
  const std::string replacement = input.ShortText(6);
  const std::string text = input.Rest();

  CheckSplit(text, delimiter);
  CheckSplitMax(text, delimiter, maximum);
  CheckReplace(text, delimiter, replacement);
  CheckCaseFolding(text);
  return 0;
}
