// Millisecond tick counter: an unsigned 32-bit count that wraps to 0 after
// 4294967295. The real counter reads CLOCK_MONOTONIC; tests inject their own.
#pragma once

#include <cstdint>

namespace varnel {

class TickCounter {
 public:
  virtual ~TickCounter() = default;
  virtual uint32_t Now() const = 0;
};

// Milliseconds of CLOCK_MONOTONIC, truncated to 32 bits.
class MonotonicTickCounter : public TickCounter {
 public:
  uint32_t Now() const override;
};

// The process's counter (a MonotonicTickCounter).
const TickCounter& SystemTickCounter();

}  // namespace varnel
