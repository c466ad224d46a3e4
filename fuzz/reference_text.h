// Plain, slow models of the text helpers for the fuzz targets to compare
// against: written for obviousness, not speed, and sharing no code with the
// helpers they check.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace varnel::fuzz {

// Splits at the leftmost occurrences of `delimiter`, scanning on from the end
// of each one found. Empty text gives no field, an empty delimiter the whole
// text; an empty field after a final delimiter is dropped.
inline std::vector<std::string> ReferenceSplit(const std::string& text,
                                               const std::string& delimiter) {
  std::vector<std::string> fields;
  if (text.empty()) return fields;
  if (delimiter.empty()) {
    fields.push_back(text);
    return fields;
  }
  size_t begin = 0;
  for (;;) {
    const size_t found = text.find(delimiter, begin);
    if (found == std::string::npos) break;
    fields.push_back(text.substr(begin, found - begin));
    begin = found + delimiter.size();
  }
  if (begin < text.size()) fields.push_back(text.substr(begin));
  return fields;
}

// True when the scan above ends with a delimiter that closes the text, whose
// empty final field is dropped.
inline bool ReferenceEndsWithDelimiter(const std::string& text, const std::string& delimiter) {
  if (text.empty() || delimiter.empty()) return false;
  size_t begin = 0;
  for (;;) {
    const size_t found = text.find(delimiter, begin);
    if (found == std::string::npos) return begin == text.size();
    begin = found + delimiter.size();
  }
}

struct ReferenceSplitMaxResult {
  std::vector<std::string> fields;
  int count = 0;
};

inline ReferenceSplitMaxResult ReferenceSplitMax(const std::string& text,
                                                 const std::string& delimiter, int maximum) {
  ReferenceSplitMaxResult result;
  std::vector<std::string> all = ReferenceSplit(text, delimiter);
  const int found = static_cast<int>(all.size());
  if (maximum < 1) {
    result.fields = all;
    result.count = found;
    return result;
  }
  const size_t limit = static_cast<size_t>(maximum);
  for (size_t i = 0; i < limit; ++i) {
    if (i < all.size()) {
      result.fields.push_back(all[i]);
    } else {
      result.fields.emplace_back();
    }
  }
  for (size_t i = limit; i < all.size(); ++i) result.fields.back() += delimiter + all[i];
  result.count = found < maximum ? found : maximum;
  return result;
}

}  // namespace varnel::fuzz
