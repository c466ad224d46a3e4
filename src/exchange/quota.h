// The -quota value: three storage limits in megabytes ("warn:stop send:stop
// send and receive"), their checks, and the attribute texts they turn into.
// Pure functions: no output, no directory access.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

inline constexpr const char* kStorageQuotaAttribute = "mDBStorageQuota";
inline constexpr const char* kOverQuotaLimitAttribute = "mDBOverQuotaLimit";
inline constexpr const char* kOverHardQuotaLimitAttribute = "mDBOverHardQuotaLimit";

// The largest figure whose kilobyte value (figure * 1024) still fits the
// directory's signed 32-bit Integer syntax.
inline constexpr int kMaxQuotaMegabytes = 2097151;

// Figures in megabytes; a figure below 0 is not given.
struct QuotaFigures {
  int warn = -1;             // mDBStorageQuota
  int stopSend = -1;         // mDBOverQuotaLimit
  int stopSendReceive = -1;  // mDBOverHardQuotaLimit
};

// One piece of a -quota value as a figure: an empty piece is -1; otherwise
// the C decimal conversion rule (leading blanks, optional sign, digits up to
// the first non-digit, no digits giving 0). Values beyond the int range
// saturate at its ends instead of wrapping.
int QuotaFigureFromText(std::string_view piece);

// Splits the value at ":" into three pieces (the third keeps any further
// colons) and converts them. Returns nullopt for bad quota values: a later
// limit below an earlier one (a blank counts as -1, so blanks may only come
// before given figures), or a figure above kMaxQuotaMegabytes.
std::optional<QuotaFigures> ParseQuota(const std::string& text);

// The "name:value" texts a valid quota sets, in order: "mDBUseDefaults:TRUE"
// alone when no figure is given; otherwise "mDBUseDefaults:FALSE" followed by
// each given limit in kilobytes, in the order warn, stop send, stop send and
// receive.
std::vector<std::string> QuotaSettings(const QuotaFigures& figures);

// The limit attributes that the figures leave unset, in the same order.
std::vector<std::string> QuotaUnsetLimits(const QuotaFigures& figures);

}  // namespace varnel
