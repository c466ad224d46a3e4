// The run's millisecond timer over a 32-bit tick counter: started when it is
// made, stopped once the processing loop ends.
#pragma once

#include <cstdint>

#include "platform/tick_counter.h"

namespace varnel {

class Reporter;

class Stopwatch {
 public:
  // Starts the timer. The counter must outlive the stopwatch.
  explicit Stopwatch(const TickCounter& ticks = SystemTickCounter(), Reporter* reporter = nullptr);

  // Stops the timer (again: moves its end).
  void Stop();
  // Milliseconds between start and end, modulo 2^32 so that a wrapped counter
  // still measures right. Reading a running timer stops it. With the debug
  // flag, prints the Start/End/Delta trace to stdout.
  int32_t ElapsedMs();
  // ElapsedMs in seconds.
  double ElapsedSeconds();

 private:
  const TickCounter* ticks_;
  Reporter* reporter_;  // traces the readings when it is in debug mode
  uint32_t start_ = 0;
  uint32_t end_ = 0;
  bool stopped_ = false;
};

}  // namespace varnel
