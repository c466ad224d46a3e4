#include "run/rate_pacer.h"

#include <algorithm>

namespace varnel {

uint32_t RatePacer::Wait(uint32_t now) const {
  if (perSecond_ == 0 || !started_) return 0;
  const uint64_t at = Scaled(now);
  if (nextAt_ <= at) return 0;
  return static_cast<uint32_t>((nextAt_ - at + perSecond_ - 1) / perSecond_);
}

void RatePacer::Started(uint32_t now) {
  if (perSecond_ == 0) return;
  if (!started_) {
    started_ = true;
    firstAt_ = now;
  }
  nextAt_ = std::max(nextAt_, Scaled(now)) + 1000;
}

}  // namespace varnel
