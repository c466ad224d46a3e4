#include "run/send_rules.h"

namespace varnel {

uint32_t SendRules::WriteWindow(size_t readsToCome) const {
  const uint32_t window = Window();
  const uint32_t share = readsToCome == 0 ? window : std::max<uint32_t>(window - window / 2, 1);
  return limits_.continueOnError ? share : std::min(share, slowStart_);
}

void SendRules::Answered(uint32_t rttMs, uint32_t inFlight) {
  if (limits_.window == 0) adaptive_.Answered(rttMs, inFlight);
}

void SendRules::Overloaded(uint32_t inFlight) {
  if (limits_.window == 0) adaptive_.Overloaded(inFlight);
}

void SendRules::WriteSucceeded() {
  slowStart_ = std::min(slowStart_ + kSlowStartStep, AdaptiveWindow::kCap);
}

void SendRules::Failed(size_t index) {
  if (!firstFailure_ || index < *firstFailure_) firstFailure_ = index;
}

void SendRules::WriteBack(const std::string& key) {
  if (auto it = writing_.find(key); it != writing_.end() && --it->second == 0) writing_.erase(it);
}

}  // namespace varnel
