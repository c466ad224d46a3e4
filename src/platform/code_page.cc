#include "platform/code_page.h"

#include <cstddef>
#include <cstdint>

namespace varnel {
namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Appends one code point (at most U+10FFFF, not a surrogate) as UTF-16.
void AppendUtf16(char32_t code_point, std::u16string* out) {
  if (code_point < 0x10000) {
    out->push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  out->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
  out->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace

std::u16string NarrowToWide(std::string_view narrow) {
  narrow = narrow.substr(0, narrow.find('\0'));
  std::u16string wide;
  wide.reserve(narrow.size());
  size_t i = 0;
  while (i < narrow.size()) {
    const uint8_t lead = static_cast<uint8_t>(narrow[i]);
    if (lead < 0x80) {
      wide.push_back(lead);
      ++i;
      continue;
    }
    // Length of the sequence and the allowed range of its second byte, which
    // rules out overlong forms, encoded surrogates and values past U+10FFFF.
    size_t length = 0;
    uint8_t second_min = 0x80;
    uint8_t second_max = 0xBF;
    char32_t code_point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code_point = lead & 0x0F;
      if (lead == 0xE0) second_min = 0xA0;
      if (lead == 0xED) second_max = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code_point = lead & 0x07;
      if (lead == 0xF0) second_min = 0x90;
      if (lead == 0xF4) second_max = 0x8F;
    } else {
      wide.push_back(kReplacementCharacter);
      ++i;
      continue;
    }
    size_t used = 1;
    bool complete = true;
    for (; used < length; ++used) {
      if (i + used >= narrow.size()) {
        complete = false;
        break;
      }
      const uint8_t byte = static_cast<uint8_t>(narrow[i + used]);
      const bool in_range =
          used == 1 ? byte >= second_min && byte <= second_max : IsContinuation(byte);
      if (!in_range) {
        complete = false;
        break;
      }
      code_point = (code_point << 6) | (byte & 0x3F);
    }
    if (complete) {
      AppendUtf16(code_point, &wide);
    } else {
      wide.push_back(kReplacementCharacter);
    }
    i += used;
  }
  return wide;
}

std::string WideToNarrow(std::u16string_view wide) {
  wide = wide.substr(0, wide.find(u'\0'));
  std::string narrow;
  narrow.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t unit = wide[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      const char32_t code_point = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                  (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
      AppendUtf8(code_point, &narrow);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      narrow.push_back('?');
    } else {
      AppendUtf8(unit, &narrow);
    }
  }
  return narrow;
}

}  // namespace varnel
