// Split, SplitMax and the case folds with arbitrary text and delimiter. Input
// layout: delimiter length byte and delimiter, one byte for SplitMax's
// maximum, then the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reference_text.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

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
  const std::string text = input.Rest();

  CheckSplit(text, delimiter);
  CheckSplitMax(text, delimiter, maximum);
  CheckCaseFolding(text);
  return 0;
}
