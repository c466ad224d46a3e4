#include "exchange/quota.h"

#include <algorithm>
#include <cstdint>

#include "text/string_helpers.h"

namespace varnel {
namespace {

struct Limit {
  const char* attribute;
  int figure;
};

}  // namespace

std::optional<QuotaFigures> ParseQuota(const std::string& text) {
  if (std::count(text.begin(), text.end(), ':') > 2) return std::nullopt;  // a fourth figure
  std::vector<std::string> pieces;
  SplitMax(text, ":", &pieces, 3);
  int given[3];
  for (size_t i = 0; i < 3; ++i) {
    if (pieces[i].empty() || pieces[i] == "-1") {
      given[i] = -1;
      continue;
    }
    const std::optional<uint64_t> figure = ParseDecimal(pieces[i], kMaxQuotaMegabytes);
    if (!figure) return std::nullopt;
    given[i] = static_cast<int>(*figure);
  }
  const int w = given[0], s = given[1], r = given[2];
  if (s < w || r < w || r < s) return std::nullopt;
  return QuotaFigures{w, s, r};
}

std::vector<QuotaSetting> QuotaSettings(const QuotaFigures& figures) {
  const Limit limits[] = {{kStorageQuotaAttribute, figures.warn},
                          {kOverQuotaLimitAttribute, figures.stopSend},
                          {kOverHardQuotaLimitAttribute, figures.stopSendReceive}};
  if (figures.warn < 0 && figures.stopSend < 0 && figures.stopSendReceive < 0)
    return {{"mDBUseDefaults", "TRUE"}};
  std::vector<QuotaSetting> settings = {{"mDBUseDefaults", "FALSE"}};
  for (const Limit& limit : limits) {
    if (limit.figure < 0) continue;
    const int64_t kilobytes = static_cast<int64_t>(limit.figure) * 1024;
    settings.push_back({limit.attribute, std::to_string(kilobytes)});
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
