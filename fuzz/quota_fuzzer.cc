// The -quota value parser. The whole input is the switch value. Accepted
// figures must be in range and ordered, their kilobyte values must fit the
// directory's 32-bit integers, and acceptance must follow the stated rules.
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

// The C library's own conversion, saturated at the int range.
int ReferenceFigure(const std::string& piece) {
  if (piece.empty()) return -1;
  errno = 0;
  const long long value = std::strtoll(piece.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void CheckSettings(const QuotaFigures& figures) {
  const std::vector<std::string> settings = QuotaSettings(figures);
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

  const std::vector<std::string> pieces = ReferenceSplitMax(text, ":", 3).fields;
  int expected[3];
  for (size_t i = 0; i < 3; ++i) {
    expected[i] = ReferenceFigure(pieces[i]);
    VARNEL_FUZZ_CHECK(QuotaFigureFromText(pieces[i]) == expected[i]);
  }
  const int w = expected[0], s = expected[1], r = expected[2];
  const bool ordered = s >= w && r >= w && r >= s;
  const bool inRange =
      w <= kMaxQuotaMegabytes && s <= kMaxQuotaMegabytes && r <= kMaxQuotaMegabytes;

  const std::optional<QuotaFigures> figures = ParseQuota(text);
  VARNEL_FUZZ_CHECK(figures.has_value() == (ordered && inRange));
  if (!figures) return 0;
  VARNEL_FUZZ_CHECK(figures->warn == w && figures->stopSend == s && figures->stopSendReceive == r);
  VARNEL_FUZZ_CHECK(figures->warn <= figures->stopSend);
  VARNEL_FUZZ_CHECK(figures->stopSend <= figures->stopSendReceive);
  VARNEL_FUZZ_CHECK(figures->stopSendReceive <= kMaxQuotaMegabytes);
  CheckSettings(*figures);
  return 0;
}
