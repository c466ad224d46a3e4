#include "run/progress_meter.h"

#include <iomanip>
#include <sstream>

#include "diag/reporter.h"
#include "platform/tick_counter.h"

namespace varnel {
namespace {

constexpr uint32_t kRedrawMs = 100;

// h:mm:ss from an hour on, m:ss below.
std::string Duration(uint64_t seconds) {
  std::ostringstream text;
  text << std::setfill('0');
  if (seconds >= 3600)
    text << seconds / 3600 << ':' << std::setw(2) << seconds / 60 % 60;
  else
    text << seconds / 60;
  text << ':' << std::setw(2) << seconds % 60;
  return text.str();
}

}  // namespace

std::string ProgressText(size_t done, size_t total, size_t errors, uint32_t elapsedMs) {
  const double rate = elapsedMs == 0 ? 0.0 : 1000.0 * static_cast<double>(done) / elapsedMs;
  std::string left = "--:--";
  if (rate > 0.0 && done <= total)
    left = Duration(static_cast<uint64_t>(static_cast<double>(total - done) / rate + 0.5));
  std::ostringstream text;
  text << done << '/' << total << " done, " << errors << (errors == 1 ? " error, " : " errors, ")
       << std::fixed << std::setprecision(1) << rate << " objects/s, " << left << " left";
  return text.str();
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
