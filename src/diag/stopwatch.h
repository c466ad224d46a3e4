// Named millisecond timers over a 32-bit tick counter. Names are
// case-insensitive (stored upper-cased); the processing loop times its run
// with the timer "t1".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/tick_counter.h"

namespace varnel {

class Reporter;

class Stopwatch {
 public:
  // Starts the timer `name`. The counter must outlive the stopwatch.
  explicit Stopwatch(std::string_view name, const TickCounter& ticks = SystemTickCounter(),
                     Reporter* reporter = nullptr);

  // (Re)starts a timer, discarding earlier readings. False for an empty name.
  bool Start(std::string_view name);
  // Stops a started timer (again: moves its end). False for an empty name or a
  // timer that was never started.
  bool Stop(std::string_view name);
  // Milliseconds between start and end, modulo 2^32 so that a wrapped counter
  // still measures right. Reading a running timer stops it; an unknown timer
  // reads 0. With the debug flag, prints the Start/End/Delta trace to stdout.
  int32_t ElapsedMs(std::string_view name);
  // ElapsedMs in seconds.
  double ElapsedSeconds(std::string_view name);

 private:
  struct Timer {
    uint32_t start = 0;
    uint32_t end = 0;
    bool started = false;
    bool stopped = false;
  };

  const TickCounter* ticks_;
  Reporter* reporter_;  // traces the readings when it is in debug mode
  std::map<std::string, Timer> timers_;
};

}  // namespace varnel
