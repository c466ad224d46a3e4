// -rate: at most so many objects started each second. Each start takes its
// share of a second from a clock that never runs behind the present, so a
// pause in the run (a slow answer, a busy server) is not made up afterwards
// by a burst. Pure: the caller passes its ticks in.
#pragma once

#include <cstdint>

namespace varnel {

class RatePacer {
 public:
  // `perSecond`: 0 for no cap.
  explicit RatePacer(uint32_t perSecond) : perSecond_(perSecond) {}

  // Milliseconds to wait from `now` before the next object may start; 0 when
  // it may start now.
  uint32_t Wait(uint32_t now) const;
  // An object started at `now`.
  void Started(uint32_t now);

 private:
  // Milliseconds since the first start, in units of 1/perSecond_ ms.
  uint64_t Scaled(uint32_t now) const { return uint64_t{uint32_t(now - firstAt_)} * perSecond_; }

  uint32_t perSecond_;
  bool started_ = false;
  uint32_t firstAt_ = 0;
  uint64_t nextAt_ = 0;  // when the next may start, scaled as Scaled()
};

}  // namespace varnel
