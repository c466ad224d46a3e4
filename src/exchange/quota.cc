#include "exchange/quota.h"

#include <climits>
#include <cstdint>

#include "text/string_helpers.h"

namespace varnel {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Limit {
  const char* attribute;
  int figure;
};

}  // namespace

int QuotaFigureFromText(std::string_view piece) {
  if (piece.empty()) return -1;
  size_t pos = 0;
  while (pos < piece.size() && IsBlank(piece[pos])) ++pos;
  bool negative = false;
  if (pos < piece.size() && (piece[pos] == '+' || piece[pos] == '-')) {
    negative = piece[pos] == '-';
    ++pos;
  }
  // Accumulate the magnitude, stopping once it has left the int range.
  const int64_t bound = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
  int64_t magnitude = 0;
  for (; pos < piece.size() && piece[pos] >= '0' && piece[pos] <= '9'; ++pos) {
    if (magnitude <= bound) magnitude = magnitude * 10 + (piece[pos] - '0');
  }
  if (magnitude > bound) magnitude = bound;
  return static_cast<int>(negative ? -magnitude : magnitude);
}

std::optional<QuotaFigures> ParseQuota(const std::string& text) {
  std::vector<std::string> pieces;
  SplitMax(text, ":", &pieces, 3);
  QuotaFigures figures;
  figures.warn = QuotaFigureFromText(pieces[0]);
  figures.stopSend = QuotaFigureFromText(pieces[1]);
  figures.stopSendReceive = QuotaFigureFromText(pieces[2]);

  const int w = figures.warn, s = figures.stopSend, r = figures.stopSendReceive;
  if (s < w || r < w || r < s) return std::nullopt;
  if (w > kMaxQuotaMegabytes || s > kMaxQuotaMegabytes || r > kMaxQuotaMegabytes) {
    return std::nullopt;
  }
  return figures;
}

std::vector<std::string> QuotaSettings(const QuotaFigures& figures) {
  const Limit limits[] = {{kStorageQuotaAttribute, figures.warn},
                          {kOverQuotaLimitAttribute, figures.stopSend},
                          {kOverHardQuotaLimitAttribute, figures.stopSendReceive}};
  std::vector<std::string> settings;
  if (figures.warn < 0 && figures.stopSend < 0 && figures.stopSendReceive < 0) {
    settings.push_back("mDBUseDefaults:TRUE");
    return settings;
  }
  settings.push_back("mDBUseDefaults:FALSE");
  for (const Limit& limit : limits) {
    if (limit.figure < 0) continue;
    const int64_t kilobytes = static_cast<int64_t>(limit.figure) * 1024;
    settings.push_back(std::string(limit.attribute) + ":" + std::to_string(kilobytes));
  }
  return settings;
}

std::vector<std::string> QuotaUnsetLimits(const QuotaFigures& figures) {
  const Limit limits[] = {{kStorageQuotaAttribute, figures.warn},
                          {kOverQuotaLimitAttribute, figures.stopSend},
                          {kOverHardQuotaLimitAttribute, figures.stopSendReceive}};
  std::vector<std::string> unset;
  for (const Limit& limit : limits) {
    if (limit.figure < 0) unset.push_back(limit.attribute);
  }
  return unset;
}

}  // namespace varnel
