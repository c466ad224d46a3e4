// The -quota value parser. The whole input is the switch value. Accepted
// figures must be digits in range and ordered, their kilobyte values must fit
// the directory's 32-bit integers, and acceptance must follow the stated rules.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "exchange/quota.h"
#include "fuzz_support.h"
#include "reference_text.h"

namespace varnel::fuzz {
namespace {

// A figure as the documented rule reads it: empty or "-1" is not given (-1),
// otherwise decimal digits no greater than the largest figure; nullopt when
// the text is neither.
std::optional<int> ReferenceFigure(const std::string& piece) {
  if (piece.empty() || piece == "-1") return -1;
  for (char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(piece.c_str(), nullptr, 10);
  if (errno == ERANGE || value > kMaxQuotaMegabytes) return std::nullopt;
  return static_cast<int>(value);
}

void CheckSettings(const QuotaFigures& figures) {
  std::vector<std::string> settings;
  for (const QuotaSetting& setting : QuotaSettings(figures))
    settings.push_back(setting.attribute + ":" + setting.value);
  const std::vector<std::string> unset = QuotaUnsetLimits(figures);
  const int given[] = {figures.warn, figures.stopSend, figures.stopSendReceive};
  const char* names[] = {kStorageQuotaAttribute, kOverQuotaLimitAttribute,
                         kOverHardQuotaLimitAttribute};

  size_t givenCount = 0;
  for (int figure : given) givenCount += figure >= 0 ? 1 : 0;
  VARNEL_FUZZ_CHECK(givenCount + unset.size() == 3);
  if (givenCount == 0) {
    VARNEL_FUZZ_CHECK(settings == std::vector<std::string>{"mDBUseDefaults:TRUE"});
    return;
  }
  VARNEL_FUZZ_CHECK(settings.size() == givenCount + 1);
  VARNEL_FUZZ_CHECK(settings.front() == "mDBUseDefaults:FALSE");
  size_t next = 1;
  for (size_t i = 0; i < 3; ++i) {
    if (given[i] < 0) continue;
    const int64_t kilobytes = int64_t{given[i]} * 1024;
    VARNEL_FUZZ_CHECK(kilobytes <= INT32_MAX);
    VARNEL_FUZZ_CHECK(settings[next] == std::string(names[i]) + ":" + std::to_string(kilobytes));
    ++next;
  }
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel;
  using namespace varnel::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);

  size_t colons = 0;
  for (char c : text) colons += c == ':' ? 1 : 0;
  bool wellFormed = colons <= 2;
  int expected[3] = {-1, -1, -1};
  if (wellFormed) {
    const std::vector<std::string> pieces = ReferenceSplitMax(text, ":", 3).fields;
    for (size_t i = 0; i < 3 && wellFormed; ++i) {
      const std::optional<int> figure = ReferenceFigure(pieces[i]);
      wellFormed = figure.has_value();
      if (figure) expected[i] = *figure;
    }
  }
  const int w = expected[0], s = expected[1], r = expected[2];
  const bool ordered = s >= w && r >= w && r >= s;

  const std::optional<QuotaFigures> figures = ParseQuota(text);
  VARNEL_FUZZ_CHECK(figures.has_value() == (wellFormed && ordered));
  if (!figures) return 0;
  VARNEL_FUZZ_CHECK(figures->warn == w && figures->stopSend == s && figures->stopSendReceive == r);
  VARNEL_FUZZ_CHECK(figures->warn <= figures->stopSend);
  VARNEL_FUZZ_CHECK(figures->stopSend <= figures->stopSendReceive);
  VARNEL_FUZZ_CHECK(figures->stopSendReceive <= kMaxQuotaMegabytes);
  CheckSettings(*figures);
  return 0;
}
