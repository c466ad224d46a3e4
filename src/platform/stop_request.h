// A request to end the run, as SIGINT and SIGTERM make it: the first signal
// asks the run to send nothing more and end cleanly; a second one ends the
// process at once (every record already written stays as it is on disk).
// The loop asks Signal() between answers; tests hand in their own request.
#pragma once

#include <cstdint>

namespace varnel {

// How long a run asked to stop waits for the answers on their way, counted
// from the signal: the process is gone within 10 s of it, its end (the items
// shown and recorded, the session closed) included.
inline constexpr unsigned kStopWaitMs = 7000;

// The signal a SignalStopRequest caught, or 0: for the waits below the run
// (an answer, a connection made again), which must not outlast a stop.
int StopSignalSeen();

// For a helper thread: SIGINT and SIGTERM go to the run's own thread, whose
// waits (a read of standard input among them) they must interrupt.
void LeaveStopSignalsToTheRun();

class StopRequest {
 public:
  virtual ~StopRequest() = default;
  // The signal that asked the run to stop, or 0.
  virtual int Signal() const = 0;
  // When it was asked, on the run's tick counter; meaningful once Signal()
  // is not 0.
  virtual uint32_t AskedAt() const = 0;
};

// Never asks.
class NoStopRequest : public StopRequest {
 public:
  int Signal() const override { return 0; }
  uint32_t AskedAt() const override { return 0; }
};

// Catches SIGINT and SIGTERM while it lives; the handlers before it are put
// back when it goes. Only one may live at a time. The handlers do not restart
// an interrupted system call, so a read of standard input that waits for
// more returns on the first signal. AskedAt() is on SystemTickCounter().
class SignalStopRequest : public StopRequest {
 public:
  SignalStopRequest();
  ~SignalStopRequest() override;
  SignalStopRequest(const SignalStopRequest&) = delete;
  SignalStopRequest& operator=(const SignalStopRequest&) = delete;

  int Signal() const override;
  uint32_t AskedAt() const override;
};

}  // namespace varnel
