#include "run/adaptive_window.h"

#include <algorithm>
#include <cmath>

namespace varnel {

AdaptiveWindow::AdaptiveWindow(uint32_t cap, uint32_t initial)
    : cap_(std::max<uint32_t>(cap, 1)),
      limit_(std::clamp<uint32_t>(initial, 1, cap_)),
      epochAnswers_(limit_) {}

bool AdaptiveWindow::Used(uint32_t inFlight) const { return uint64_t{inFlight} * 2 >= limit_; }

void AdaptiveWindow::StartEpoch() {
  epochAnswers_ = limit_;
  answers_ = 0;
  epochTotal_ = 0;
  mostInFlight_ = 0;
}

void AdaptiveWindow::Answered(uint32_t rttMs, uint32_t inFlight) {
  if (sentBeforeHalving_ != 0) --sentBeforeHalving_;
  // A tick counts whole milliseconds: an answer within the tick it was sent
  // in took up to one, and no round trip counts as none.
  const uint64_t rtt = uint64_t{rttMs} + 1;
  fastest_ = fastest_ == 0 ? rtt : std::min(fastest_, rtt);
  // An answer to a request sent before the limit last changed tells of the
  // old limit, not of this one.
  if (sentBeforeChange_ != 0) {
    --sentBeforeChange_;
    return;
  }
  epochTotal_ += rtt;
  mostInFlight_ = std::max(mostInFlight_, inFlight);
  // Slow start: one more for each answer, so that the limit doubles each
  // round trip and the sends follow the answers, without a burst.
  if (slowStart_ && Used(inFlight)) limit_ = std::min(limit_ + 1, cap_);
  if (++answers_ >= epochAnswers_) Adjust(inFlight);
}

void AdaptiveWindow::Adjust(uint32_t inFlight) {
  // The requests that were really out, and how many of them waited in the
  // server's queue: the share of the epoch's mean round trip above the
  // fastest. (Not the epoch's fastest: the first answers after a burst of
  // sends come before the queue has built up.)
  const uint64_t used = std::max<uint32_t>(mostInFlight_, 1);
  const uint64_t mean = std::max<uint64_t>(epochTotal_ / answers_, fastest_);
  const uint64_t queued = used * (mean - fastest_) / mean;
  // A few requests queued keep the server busy between answers; a few more
  // than that only wait. Both grow slowly with the limit.
  const double log = std::log10(static_cast<double>(limit_));
  const uint64_t few = std::max<uint64_t>(2, static_cast<uint64_t>(3 * log));
  // A long link's round trips vary by a tenth or so on their own: only a
  // queue of more than a quarter of those in flight is the server's, and
  // one below a tenth leaves room to grow.
  const uint64_t tooMany = std::max<uint64_t>(2 * few, used / 4);
  const uint64_t room = std::max<uint64_t>(few, used / 10);
  uint64_t next = limit_;
  if (queued > tooMany) {
    // What the link carries without a queue, and the few.
    next = used * fastest_ / mean + few;
    slowStart_ = false;
  } else if (queued < room) {
    // Room to grow, when the run used it (slow start grew with each answer).
    if (!slowStart_ && Used(mostInFlight_)) next += few;
  }
  next = std::clamp<uint64_t>(next, 1, cap_);
  if (next != limit_) sentBeforeChange_ = inFlight != 0 ? inFlight - 1 : 0;
  limit_ = static_cast<uint32_t>(next);
  StartEpoch();
}

void AdaptiveWindow::Overloaded(uint32_t inFlight) {
  if (sentBeforeHalving_ != 0) {
    --sentBeforeHalving_;
    return;
  }
  limit_ = std::max<uint32_t>(limit_ / 2, 1);
  slowStart_ = false;
  sentBeforeHalving_ = inFlight != 0 ? inFlight - 1 : 0;
  sentBeforeChange_ = sentBeforeHalving_;
  StartEpoch();
}

}  // namespace varnel
