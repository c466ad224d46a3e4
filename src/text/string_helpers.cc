#include "text/string_helpers.h"

#include <cstddef>
#include <utility>

namespace varnel {

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

int Split(std::string text, std::string delimiter, std::vector<std::string>* fields) {
  if (text.empty()) return static_cast<int>(fields->size());
  if (delimiter.empty()) {
    fields->push_back(std::move(text));
    return static_cast<int>(fields->size());
  }
  // Each search starts after the delimiter found before, so a delimiter that
  // overlaps itself ("::" in ":::") counts once and no text is lost. The text
  // after the last delimiter is the final field unless it is empty.
  size_t begin = 0;
  for (size_t found = text.find(delimiter); found != std::string::npos;
       found = text.find(delimiter, begin)) {
    fields->push_back(text.substr(begin, found - begin));
    begin = found + delimiter.size();
  }
  if (begin < text.size()) fields->push_back(text.substr(begin));
  return static_cast<int>(fields->size());
}

int SplitMax(std::string text, std::string delimiter, std::vector<std::string>* fields,
             int maximum) {
  std::vector<std::string> found;
  const int count = Split(std::move(text), delimiter, &found);
  if (maximum < 1) {
    fields->insert(fields->end(), found.begin(), found.end());
    return count;
  }
  const size_t limit = static_cast<size_t>(maximum);
  if (found.size() > limit) {
    std::string& last = found[limit - 1];
    for (size_t i = limit; i < found.size(); ++i) {
      last += delimiter;
      last += found[i];
    }
    found.resize(limit);
  }
  const int result = count < maximum ? count : maximum;
  found.resize(limit);
  fields->insert(fields->end(), found.begin(), found.end());
  return result;
}

std::optional<uint64_t> ParseDecimal(std::string_view text, uint64_t maximum) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (digit > maximum || value > (maximum - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string RemoveQuotes(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      result.push_back(text[i]);
      result.push_back(text[++i]);
    } else if (text[i] != '"') {
      result.push_back(text[i]);
    }
  }
  return result;
}

bool HasControlCharacter(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) return true;
    // C1 controls: 0xC2 followed by 0x80 to 0x9F.
    if (byte == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
  }
  return false;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0xC2 && i + 1 < text.size() && HasControlCharacter(text.substr(i, 2))) {
      line += ' ';
      ++i;
    } else {
      line += byte < 0x20 || byte == 0x7F ? ' ' : text[i];
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace varnel
