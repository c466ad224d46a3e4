#include "diag/stopwatch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/tick_counter.h"
#include "support/capture.h"

namespace varnel {
namespace {

class FakeTicks : public TickCounter {
 public:
  uint32_t Now() const override { return now; }
  uint32_t now = 1000;
};

class StopwatchTest : public ::testing::Test {
 protected:
  FakeTicks ticks_;
  testing::CapturedReporter reporter_;
};

TEST_F(StopwatchTest, MeasuresUntilStoppedInMillisecondsAndSeconds) {
  Stopwatch watch(ticks_, &reporter_);
  ticks_.now += 1500;
  watch.Stop();
  ticks_.now += 7000;
  EXPECT_EQ(watch.ElapsedMs(), 1500);
  EXPECT_DOUBLE_EQ(watch.ElapsedSeconds(), 1.5);
}

TEST_F(StopwatchTest, ReadingARunningTimerStopsIt) {
  Stopwatch watch(ticks_, &reporter_);
  ticks_.now += 25;
  EXPECT_EQ(watch.ElapsedMs(), 25);
  ticks_.now += 60;
  EXPECT_EQ(watch.ElapsedMs(), 25);
}

TEST_F(StopwatchTest, ZeroTickReadingsAreRealReadingsAndNoTraceWithoutDebug) {
  ticks_.now = 0;
  Stopwatch watch(ticks_, &reporter_);
  ticks_.now = 250;
  EXPECT_EQ(watch.ElapsedMs(), 250);
  EXPECT_EQ(reporter_.Both(), "");
}

TEST_F(StopwatchTest, WrappedCounterGivesTheModularDifferenceInResultAndTrace) {
  ticks_.now = 0xFFFFFFFFu - 295;  // 2^32 - 296
  Stopwatch watch(ticks_, &reporter_);
  ticks_.now = 300;
  reporter_.Configure({.debug = true});
  EXPECT_EQ(watch.ElapsedMs(), 596);
  EXPECT_EQ(reporter_.TakeOut(), "Start: 4294967000\nEnd  : 300\nDelta: 596\n");
}

}  // namespace
}  // namespace varnel
