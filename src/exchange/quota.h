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

  bool operator==(const QuotaFigures&) const = default;
};

// Reads the value: at most three figures separated by ":", each empty or
// "-1" (not given) or decimal digits no greater than kMaxQuotaMegabytes.
// Returns nullopt for bad quota values: anything else in a figure, a fourth
// figure, or a later limit below an earlier one (a figure not given counts as
// -1, so figures may only be left out before given ones).
std::optional<QuotaFigures> ParseQuota(const std::string& text);

// One attribute a quota sets, and its one value.
struct QuotaSetting {
  std::string attribute;
  std::string value;
};

// What a valid quota sets, in order: mDBUseDefaults TRUE alone when no
// figure is given; otherwise mDBUseDefaults FALSE followed by each given
// limit in kilobytes, in the order warn, stop send, stop send and receive.
std::vector<QuotaSetting> QuotaSettings(const QuotaFigures& figures);

// The limit attributes that the figures leave unset, in the same order.
std::vector<std::string> QuotaUnsetLimits(const QuotaFigures& figures);

}  // namespace varnel
