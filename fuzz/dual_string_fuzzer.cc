// DualString and the code page conversions. The input is taken both as narrow
// text (UTF-8, possibly ill-formed) and as wide text (UTF-16 units, low byte
// first). The decoder is compared with a table-driven model of the Unicode
// rule that each maximal ill-formed subpart becomes one U+FFFD.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/code_page.h"
#include "text/dual_string.h"

namespace varnel::fuzz {
namespace {

struct ByteRange {
  uint8_t low;
  uint8_t high;
};

struct SequenceRule {
  int length;  // 0: the byte cannot start a sequence
  ByteRange trail[3];
};

// The well-formed byte sequences of UTF-8 by lead byte.
SequenceRule RuleFor(uint8_t lead) {
  constexpr ByteRange kAny = {0x80, 0xBF};
  if (lead >= 0xC2 && lead <= 0xDF) return {2, {kAny}};
  if (lead == 0xE0) return {3, {{0xA0, 0xBF}, kAny}};
  if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) return {3, {kAny, kAny}};
  if (lead == 0xED) return {3, {{0x80, 0x9F}, kAny}};
  if (lead == 0xF0) return {4, {{0x90, 0xBF}, kAny, kAny}};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, {kAny, kAny, kAny}};
  if (lead == 0xF4) return {4, {{0x80, 0x8F}, kAny, kAny}};
  return {0, {}};
}

struct Decoded {
  std::u16string wide;
  bool wellFormed = true;
};

Decoded ReferenceDecode(std::string_view narrow) {
  Decoded out;
  size_t i = 0;
  while (i < narrow.size()) {
    const uint8_t lead = static_cast<uint8_t>(narrow[i]);
    if (lead < 0x80) {
      out.wide.push_back(lead);
      ++i;
      continue;
    }
    const SequenceRule rule = RuleFor(lead);
    if (rule.length == 0) {
      out.wide.push_back(0xFFFD);
      out.wellFormed = false;
      ++i;
      continue;
    }
    int matched = 1;
    while (matched < rule.length && i + matched < narrow.size()) {
      const uint8_t byte = static_cast<uint8_t>(narrow[i + matched]);
      const ByteRange range = rule.trail[matched - 1];
      if (byte < range.low || byte > range.high) break;
      ++matched;
    }
    if (matched < rule.length) {
      out.wide.push_back(0xFFFD);
      out.wellFormed = false;
      i += matched;
      continue;
    }
    uint32_t code = lead & (rule.length == 2 ? 0x1F : rule.length == 3 ? 0x0F : 0x07);
    for (int k = 1; k < rule.length; ++k) code = (code << 6) | (narrow[i + k] & 0x3F);
    if (code >= 0x10000) {
      out.wide.push_back(static_cast<char16_t>(0xD800 | ((code - 0x10000) >> 10)));
      out.wide.push_back(static_cast<char16_t>(0xDC00 | ((code - 0x10000) & 0x3FF)));
    } else {
      out.wide.push_back(static_cast<char16_t>(code));
    }
    i += rule.length;
  }
  return out;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Well-formed UTF-16: every surrogate in a high-low pair.
bool IsWellFormedWide(std::u16string_view wide) {
  for (size_t i = 0; i < wide.size(); ++i) {
    if (IsHighSurrogate(wide[i])) {
      if (i + 1 >= wide.size() || !IsLowSurrogate(wide[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(wide[i])) {
      return false;
    }
  }
  return true;
}

// The wide text with each unpaired surrogate as '?'.
std::u16string WithUnpairedAsQuestionMarks(std::u16string_view wide) {
  std::u16string result;
  for (size_t i = 0; i < wide.size(); ++i) {
    if (IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
      result.push_back(wide[i]);
      result.push_back(wide[++i]);
    } else if (IsHighSurrogate(wide[i]) || IsLowSurrogate(wide[i])) {
      result.push_back(u'?');
    } else {
      result.push_back(wide[i]);
    }
  }
  return result;
}

// `bytes` is the fuzzer's own buffer, whose exact size AddressSanitizer knows.
void CheckNarrowInput(std::string_view bytes) {
  const std::string_view beforeZero = bytes.substr(0, bytes.find('\0'));
  const Decoded expected = ReferenceDecode(beforeZero);

  DualString dual(bytes);
  const std::u16string& wide = dual.Wide();
  VARNEL_FUZZ_CHECK(wide == expected.wide);
  VARNEL_FUZZ_CHECK(wide.find(u'\0') == std::u16string::npos);
  VARNEL_FUZZ_CHECK(IsWellFormedWide(wide));
  VARNEL_FUZZ_CHECK(std::char_traits<char16_t>::length(dual.WideCStr()) == wide.size());

  const std::string narrow = dual.Narrow();
  if (expected.wellFormed) {
    // Well-formed UTF-8 survives the round trip unchanged.
    VARNEL_FUZZ_CHECK(narrow == beforeZero);
  }
  // The narrow form is always well-formed and converts back to the same wide text.
  const Decoded again = ReferenceDecode(narrow);
  VARNEL_FUZZ_CHECK(again.wellFormed);
  VARNEL_FUZZ_CHECK(again.wide == wide);
  VARNEL_FUZZ_CHECK(NarrowToWide(narrow) == wide);

  const char* cstr = dual.NarrowCStr();
  VARNEL_FUZZ_CHECK(std::strlen(cstr) == narrow.size());
  VARNEL_FUZZ_CHECK(narrow == cstr);

  DualString assigned(std::u16string_view(u"previous"));
  assigned.AssignNarrow(bytes);
  VARNEL_FUZZ_CHECK(assigned.Wide() == wide);
}

void CheckWideInput(std::string_view bytes) {
  // An exact-size heap array, so that a read past its end is caught.
  const size_t count = bytes.size() / 2;
  const auto buffer = std::make_unique<char16_t[]>(count);
  for (size_t i = 0; i < count; ++i) {
    buffer[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  const std::u16string_view units(buffer.get(), count);
  const std::u16string_view beforeZero = units.substr(0, units.find(u'\0'));

  DualString dual(units);
  VARNEL_FUZZ_CHECK(dual.Wide() == beforeZero);

  const std::string narrow = dual.Narrow();
  VARNEL_FUZZ_CHECK(narrow == WideToNarrow(units));
  VARNEL_FUZZ_CHECK(narrow.find('\0') == std::string::npos);
  const Decoded decoded = ReferenceDecode(narrow);
  VARNEL_FUZZ_CHECK(decoded.wellFormed);
  // Paired surrogates come back as they were; an unpaired one became '?'.
  VARNEL_FUZZ_CHECK(decoded.wide == WithUnpairedAsQuestionMarks(beforeZero));
  if (IsWellFormedWide(beforeZero)) VARNEL_FUZZ_CHECK(NarrowToWide(narrow) == beforeZero);
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  varnel::fuzz::CheckNarrowInput(bytes);
  varnel::fuzz::CheckWideInput(bytes);
  return 0;
}
