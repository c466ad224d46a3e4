#include "platform/code_page.h"

#include <cstddef>
#include <cstdint>

namespace varnel {
namespace {

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
