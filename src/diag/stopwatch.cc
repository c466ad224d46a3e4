#include "diag/stopwatch.h"

#include "diag/reporter.h"

namespace varnel {

Stopwatch::Stopwatch(const TickCounter& ticks, Reporter* reporter)
    : ticks_(&ticks), reporter_(reporter), start_(ticks.Now()) {}

void Stopwatch::Stop() {
  end_ = ticks_->Now();
  stopped_ = true;
}

int32_t Stopwatch::ElapsedMs() {
  if (!stopped_) Stop();
  // Unsigned subtraction is modulo 2^32, which also covers a wrapped counter.
  const uint32_t delta = end_ - start_;
  if (reporter_ != nullptr && reporter_->debug()) {
    reporter_->out() << "Start: " << start_ << EndLine;
    reporter_->out() << "End  : " << end_ << EndLine;
    reporter_->out() << "Delta: " << delta << EndLine;
  }
  return static_cast<int32_t>(delta);
}

double Stopwatch::ElapsedSeconds() { return static_cast<double>(ElapsedMs() * 0.001L); }

}  // namespace varnel
