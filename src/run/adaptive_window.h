// How many requests a run keeps in flight when -window does not fix the
// number: a delay-based limit in the manner of TCP Vegas. The fastest answer
// seen stands for the link with nothing queued at the server; answers slower
// than that tell how many requests now wait in a queue there (those in
// flight times the share of the mean round trip spent waiting). Once per
// window's worth of answers the limit is set so that only a few queue. A
// long link's own round trips vary by a tenth or so, which reads as a queue
// of a tenth of those in flight, so "a few" grows with them:
//   - while less than a tenth queue it grows by one with each answer,
//     doubling each round trip (slow start), then by a few at a time;
//   - when more than a quarter queue it falls back to what the link carries
//     without a queue, and a few more;
//   - a busy or unavailable answer halves it, once per window's worth of
//     answers (those already on their way tell of the old limit).
// It grows only while the run fills at least half of it: a run held back by
// other rules does not earn a limit it never used. Pure: the round trips
// are measured by the caller, on its own clock.
#pragma once

#include <cstdint>

namespace varnel {

class AdaptiveWindow {
 public:
  // The most requests a run keeps outstanding at once.
  static constexpr uint32_t kCap = 1024;
  // Where slow start begins: a number no directory server minds (a few
  // milliseconds of its work), and one that covers an intercontinental
  // link's round trip from the first: each doubling of it costs a round
  // trip, and on a link of 100 ms a server that writes a few hundred
  // objects a second needs about 200 requests out.
  static constexpr uint32_t kInitial = 256;

  explicit AdaptiveWindow(uint32_t cap = kCap, uint32_t initial = kInitial);

  // Requests that may be in flight now: 1 to the cap.
  uint32_t Limit() const { return limit_; }

  // An answer that came `rttMs` after its request went out, with `inFlight`
  // requests outstanding, it included, when it came.
  void Answered(uint32_t rttMs, uint32_t inFlight);

  // An answer saying the server is busy or unavailable (its load, not the
  // request's fault), with `inFlight` as for Answered.
  void Overloaded(uint32_t inFlight);

 private:
  // The epoch's verdict, once a window's worth of answers is in; `inFlight`
  // as the last answer's.
  void Adjust(uint32_t inFlight);
  void StartEpoch();
  // True when `inFlight` fills at least half the limit.
  bool Used(uint32_t inFlight) const;

  uint32_t cap_;
  uint32_t limit_;
  bool slowStart_ = true;
  uint64_t fastest_ = 0;  // fastest round trip seen, in ticks plus one; 0: none yet
  // The epoch: the answers it takes (the limit when it began), those since
  // the last verdict, the sum of their round trips, the most requests in
  // flight meanwhile.
  uint32_t epochAnswers_;
  uint32_t answers_ = 0;
  uint64_t epochTotal_ = 0;
  uint32_t mostInFlight_ = 0;
  // Answers still to come of requests sent before the limit last changed,
  // and before it was last halved.
  uint32_t sentBeforeChange_ = 0;
  uint32_t sentBeforeHalving_ = 0;
};

}  // namespace varnel
