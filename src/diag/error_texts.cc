#include "diag/error_texts.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "diag/item_lines.h"
#include "platform/system_messages.h"

namespace varnel {
namespace {

struct AdsErrorRow {
  uint32_t code;
  std::string_view name;
};

// Scanned in this order; 0x80005011 to 0x80005013 have no row.
constexpr std::array kAdsErrorNames{
    AdsErrorRow{0x80005000, "E_ADS_BAD_PATHNAME"},
    AdsErrorRow{0x80005001, "E_ADS_INVALID_DOMAIN_OBJECT"},
    AdsErrorRow{0x80005002, "E_ADS_INVALID_USER_OBJECT"},
    AdsErrorRow{0x80005003, "E_ADS_INVALID_COMPUTER_OBJECT"},
    AdsErrorRow{0x80005004, "E_ADS_UNKNOWN_OBJECT"},
    AdsErrorRow{0x80005005, "E_ADS_PROPERTY_NOT_SET"},
    AdsErrorRow{0x80005006, "E_ADS_PROPERTY_NOT_SUPPORTED"},
    AdsErrorRow{0x80005007, "E_ADS_PROPERTY_INVALID"},
    AdsErrorRow{0x80005008, "E_ADS_BAD_PARAMETER"},
    AdsErrorRow{0x80005009, "E_ADS_OBJECT_UNBOUND"},
    AdsErrorRow{0x8000500A, "E_ADS_PROPERTY_NOT_MODIFIED"},
    AdsErrorRow{0x8000500B, "E_ADS_PROPERTY_MODIFIED"},
    AdsErrorRow{0x8000500C, "E_ADS_CANT_CONVERT_DATATYPE"},
    AdsErrorRow{0x8000500D, "E_ADS_PROPERTY_NOT_FOUND"},
    AdsErrorRow{0x8000500E, "E_ADS_OBJECT_EXISTS"},
    AdsErrorRow{0x8000500F, "E_ADS_SCHEMA_VIOLATION"},
    AdsErrorRow{0x80005010, "E_ADS_COLUMN_NOT_SET"},
    AdsErrorRow{0x80005014, "E_ADS_INVALID_FILTER"},
};

constexpr uint32_t kAdsBits = 0x5000;

bool HasAdsBits(uint32_t code) { return (code & kAdsBits) == kAdsBits; }

std::string Hex(uint32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", code);
  return buffer;
}

}  // namespace

Outcome AddAdsError(ItemLines& lines, const std::string& prefix, Outcome failed) {
  const std::string text = ErrorCodeText(lines, failed.code());
  lines.Err(prefix + "(0x" + Hex(static_cast<uint32_t>(failed.code())) + ") " + text);
  return failed;
}

std::string ErrorCodeText(ItemLines& lines, int32_t code) {
  const uint32_t value = static_cast<uint32_t>(code);
  if (value == 0) return "Success";
  if (HasAdsBits(value)) {
    lines.Out("adsi error");
    return AdsErrorName(code);
  }
  const uint32_t facility = (value >> 16) & 0x1FFF;
  if (facility == 0 || facility == 7 || facility == 8) return SystemMessageText(code);
  return "Unknown Error: 0x" + Hex(value);
}

std::string AdsErrorName(int32_t code) {
  const uint32_t value = static_cast<uint32_t>(code);
  if (!HasAdsBits(value)) return "";
  for (const AdsErrorRow& row : kAdsErrorNames) {
    if (row.code == value) return std::string(row.name);
  }
  return "";
}

std::string SystemMessageText(int32_t code) {
  std::optional<std::string_view> text = LookupSystemMessage(static_cast<uint32_t>(code));
  return text ? std::string(*text) : std::string("Unknown Error\n");
}

}  // namespace varnel
