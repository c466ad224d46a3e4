#include "exchange/progress_meter.h"

#include <cstdio>

#include "diag/reporter.h"
#include "platform/tick_counter.h"

namespace varnel {
namespace {

constexpr uint32_t kRedrawMs = 100;

std::string Duration(uint64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  return text;
}

}  // namespace

std::string ProgressText(size_t done, size_t total, size_t errors, uint32_t elapsedMs) {
  const double rate = elapsedMs == 0 ? 0.0 : 1000.0 * static_cast<double>(done) / elapsedMs;
  std::string left = "--:--";
  if (rate > 0.0 && done <= total)
    left = Duration(static_cast<uint64_t>(static_cast<double>(total - done) / rate + 0.5));
  char text[160];
  std::snprintf(text, sizeof text, "%zu/%zu done, %zu error%s, %.1f objects/s, %s left", done,
                total, errors, errors == 1 ? "" : "s", rate, left.c_str());
  return text;
}

ProgressMeter::ProgressMeter(Reporter& reporter, const TickCounter& ticks, size_t total)
    : reporter_(reporter), ticks_(ticks), total_(total), start_(ticks.Now()) {}

void ProgressMeter::Update(size_t done, size_t errors) {
  if (!reporter_.statusLineEnabled()) return;
  const uint32_t now = ticks_.Now();
  // Unsigned differences stay right across the counter's wrap.
  if (drawn_ && static_cast<uint32_t>(now - lastDrawn_) < kRedrawMs) return;
  reporter_.ShowStatus(ProgressText(done, total_, errors, now - start_));
  lastDrawn_ = now;
  drawn_ = true;
}

void ProgressMeter::Finish() { reporter_.ClearStatus(); }

}  // namespace varnel
