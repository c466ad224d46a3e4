// The progress meter of a long run on a terminal: one status line on standard
// error with done/total, errors, objects per second and the time left,
// redrawn at most ten times a second and erased at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel {

class Reporter;
class TickCounter;

// The meter's text after `done` of `total` items in `elapsedMs`.
std::string ProgressText(size_t done, size_t total, size_t errors, uint32_t elapsedMs);

class ProgressMeter {
 public:
  // Draws through the reporter's status line; does nothing without one.
  ProgressMeter(Reporter& reporter, const TickCounter& ticks, size_t total);

  // After each item: draws the line when a tenth of a second has passed
  // since it was drawn last (at once the first time).
  void Update(size_t done, size_t errors);
  // Erases the line.
  void Finish();

 private:
  Reporter& reporter_;
  const TickCounter& ticks_;
  size_t total_;
  uint32_t start_;
  uint32_t lastDrawn_ = 0;
  bool drawn_ = false;
};

}  // namespace varnel
