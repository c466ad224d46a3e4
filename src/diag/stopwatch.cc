#include "diag/stopwatch.h"

#include "diag/reporter.h"
#include "text/string_helpers.h"

namespace varnel {

Stopwatch::Stopwatch(std::string_view name, const TickCounter& ticks, Reporter* reporter)
    : ticks_(&ticks), reporter_(reporter) {
  Start(name);
}

bool Stopwatch::Start(std::string_view name) {
  if (name.empty()) return false;
  timers_[UpperCase(name)] = Timer{.start = ticks_->Now(), .started = true};
  return true;
}

bool Stopwatch::Stop(std::string_view name) {
  if (name.empty()) return false;
  Timer& timer = timers_[UpperCase(name)];
  if (!timer.started) return false;
  timer.end = ticks_->Now();
  timer.stopped = true;
  return true;
}

int32_t Stopwatch::ElapsedMs(std::string_view name) {
  const std::string key = UpperCase(name);
  Timer shown;
  auto found = timers_.find(key);
  if (found != timers_.end()) {
    if (!found->second.stopped) Stop(key);
    shown = found->second;
  }
  // Unsigned subtraction is modulo 2^32, which also covers a wrapped counter.
  const uint32_t delta = shown.end - shown.start;
  if (reporter_ != nullptr && reporter_->debug()) {
    reporter_->out() << "Start: " << shown.start << EndLine;
    reporter_->out() << "End  : " << shown.end << EndLine;
    reporter_->out() << "Delta: " << delta << EndLine;
  }
  return static_cast<int32_t>(delta);
}

double Stopwatch::ElapsedSeconds(std::string_view name) {
  return static_cast<double>(ElapsedMs(name) * 0.001L);
}

}  // namespace varnel
