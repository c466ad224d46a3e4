// What a run may send next, as one request at a time would have allowed it:
// the window (-window, or found from the answers), its share between reads
// and writes, an object never written twice at once, -upto, the stop rule
// without -cont (its slow start, and nothing more once an item has failed)
// and -rate. Pure: the caller counts its requests and passes its ticks in.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "exchange/run_settings.h"
#include "run/adaptive_window.h"
#include "run/rate_pacer.h"

namespace varnel {

struct SendLimits {
  uint32_t window = 0;  // 0: found from the answers
  bool continueOnError = false;
  uint32_t upto = 0;  // 0: no limit
  uint32_t rate = 0;  // items started each second; 0: no cap
};

// The limits a run's switches set.
inline SendLimits SendLimitsOf(const RunSettings& settings) {
  return {settings.window, settings.continueOnError, settings.upto, settings.rate};
}

class SendRules {
 public:
  explicit SendRules(const SendLimits& limits) : limits_(limits), pacer_(limits.rate) {}

  // Requests outstanding at most, reads and writes together.
  uint32_t Window() const { return limits_.window != 0 ? limits_.window : adaptive_.Limit(); }
  // The writes' share of the window: half of it while reads are to come
  // (`readsToCome`: out, or not yet sent), so that neither reads nor writes
  // starve the other, and all of it once none are. Without -cont the first
  // write goes out alone and each success lets kSlowStartStep more out (slow
  // start: the share grows eightfold each round trip), so that a refusal that
  // meets every object costs at most one write put back.
  uint32_t WriteWindow(size_t readsToCome) const;
  // The reads' share: what the writes leave while reads are to come.
  uint32_t ReadWindow() const { return std::max<uint32_t>(Window() - WriteWindow(1), 1); }

  // True when one more read may go out; `planWaits`: a read item waits for
  // room to be written, and keeps a place for its write.
  bool RoomToRead(size_t reads, size_t outstanding, bool planWaits) const {
    return reads < ReadWindow() && outstanding + (planWaits ? 1 : 0) < Window();
  }
  // A read beyond the reads' share (the window shrank after it went out)
  // holds no write back: the writes are what the run is for.
  bool RoomToWrite(size_t writes, size_t reads, size_t readsToCome) const {
    return writes < WriteWindow(readsToCome) &&
           writes + std::min<size_t>(reads, ReadWindow()) < Window();
  }
  // A request the server turned away goes out again within the window,
  // though one always goes when nothing else is on its way.
  bool RoomToSendAgain(size_t onTheirWay) const { return onTheirWay == 0 || onTheirWay < Window(); }

  // -upto: the successes so far and the writes that may still succeed
  // (`pending`) reach the limit.
  bool UptoReached(uint32_t successful, size_t pending) const {
    return limits_.upto != 0 && successful + pending >= limits_.upto;
  }

  // An answer `rttMs` after its request, `inFlight` outstanding; the server's
  // load. Heard only when -window does not fix the window.
  void Answered(uint32_t rttMs, uint32_t inFlight);
  void Overloaded(uint32_t inFlight);
  void WriteSucceeded();
  // The item at `index` (in input order) failed.
  void Failed(size_t index);
  // Without -cont: true once an item has failed, and the later ones are no
  // longer sent.
  bool Halted() const { return !limits_.continueOnError && firstFailure_.has_value(); }
  // True when halted by a failure before the item at `index`.
  bool HaltedBefore(size_t index) const { return Halted() && index > *firstFailure_; }
  // The earliest item that failed; only once one has.
  size_t FirstFailure() const { return *firstFailure_; }

  // The same object is never written twice at once: `key` names it.
  void WriteOut(const std::string& key) { ++writing_[key]; }
  void WriteBack(const std::string& key);
  bool Writing(const std::string& key) const { return writing_.contains(key); }

  // -rate: milliseconds from `now` until the next item may start.
  uint32_t RateWait(uint32_t now) const { return pacer_.Wait(now); }
  bool RateAllows(uint32_t now) const { return pacer_.Wait(now) == 0; }
  void Started(uint32_t now) { pacer_.Started(now); }

 private:
  SendLimits limits_;
  AdaptiveWindow adaptive_;
  RatePacer pacer_;
  static constexpr uint32_t kSlowStartStep = 7;
  uint32_t slowStart_ = 1;
  std::optional<size_t> firstFailure_;
  std::map<std::string, int> writing_;  // object -> its writes outstanding
};

}  // namespace varnel
