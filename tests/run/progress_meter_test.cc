// The meter's text and how often it is drawn.
#include "run/progress_meter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "diag/reporter.h"
#include "platform/tick_counter.h"

namespace varnel {
namespace {

struct SetTicks : TickCounter {
  uint32_t Now() const override { return now; }
  uint32_t now = 0;
};

TEST(ProgressMeterTest, RateAndTimeLeft) {
  EXPECT_EQ(ProgressText(30, 60, 2, 10000), "30/60 done, 2 errors, 3.0 objects/s, 0:10 left");
  EXPECT_EQ(ProgressText(1, 7201, 1, 1000), "1/7201 done, 1 error, 1.0 objects/s, 2:00:00 left");
  EXPECT_EQ(ProgressText(0, 60, 0, 0), "0/60 done, 0 errors, 0.0 objects/s, --:-- left");
}

TEST(ProgressMeterTest, DrawnAtMostTenTimesASecondAcrossTheCounterWrap) {
  std::ostringstream out, err;
  Reporter reporter(out, err);
  SetTicks ticks;
  ticks.now = 0xFFFFFFF0u;  // 16 ms before the counter wraps
  reporter.EnableStatusLine();
  ProgressMeter meter(reporter, ticks, 100);
  meter.Update(1, 0);  // first: drawn at once
  ticks.now += 60;
  meter.Update(2, 0);  // 60 ms later: not drawn
  ticks.now += 40;
  meter.Update(3, 1);  // 100 ms after the first
  meter.Finish();
  EXPECT_EQ(err.str(),
            "\r1/100 done, 0 errors, 0.0 objects/s, --:-- left\033[K"
            "\r3/100 done, 1 error, 30.0 objects/s, 0:03 left\033[K\r\033[K");
}

}  // namespace
}  // namespace varnel
