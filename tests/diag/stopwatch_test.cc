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

TEST_F(StopwatchTest, MeasuresMillisecondsAndSeconds) {
  Stopwatch watch("t1", ticks_, &reporter_);
  ticks_.now += 1500;
  EXPECT_TRUE(watch.Stop("t1"));
  ticks_.now += 7000;
  EXPECT_EQ(watch.ElapsedMs("t1"), 1500);
  EXPECT_DOUBLE_EQ(watch.ElapsedSeconds("T1"), 1.5);
}

TEST_F(StopwatchTest, NamesIgnoreCaseAndReadingARunningTimerStopsIt) {
  Stopwatch watch("t1", ticks_, &reporter_);
  ticks_.now += 20;
  EXPECT_TRUE(watch.Start("Other"));
  ticks_.now += 5;
  EXPECT_EQ(watch.ElapsedMs("T1"), 25);
  ticks_.now += 60;
  EXPECT_EQ(watch.ElapsedMs("t1"), 25);
  EXPECT_EQ(watch.ElapsedMs("OTHER"), 65);
}

TEST_F(StopwatchTest, RestartMeasuresFromTheRestart) {
  Stopwatch watch("t1", ticks_, &reporter_);
  ticks_.now += 100;
  watch.Stop("t1");
  ticks_.now += 900;
  EXPECT_TRUE(watch.Start("t1"));
  ticks_.now += 30;
  EXPECT_EQ(watch.ElapsedMs("t1"), 30);
}

TEST_F(StopwatchTest, EmptyUnknownAndUnstartedNames) {
  Stopwatch watch("t1", ticks_, &reporter_);
  EXPECT_FALSE(watch.Start(""));
  EXPECT_FALSE(watch.Stop(""));
  EXPECT_FALSE(watch.Stop("never"));
  ticks_.now += 10;
  EXPECT_EQ(watch.ElapsedMs("never"), 0);
  EXPECT_EQ(watch.ElapsedMs("unknown"), 0);
  EXPECT_EQ(watch.ElapsedSeconds("unknown"), 0.0);
}

TEST_F(StopwatchTest, ZeroTickReadingsAreRealReadingsAndNoTraceWithoutDebug) {
  ticks_.now = 0;
  Stopwatch watch("t1", ticks_, &reporter_);
  ticks_.now = 250;
  EXPECT_EQ(watch.ElapsedMs("t1"), 250);
  EXPECT_EQ(reporter_.Both(), "");
}

TEST_F(StopwatchTest, WrappedCounterGivesTheModularDifferenceInResultAndTrace) {
  ticks_.now = 0xFFFFFFFFu - 295;  // 2^32 - 296
  Stopwatch watch("t1", ticks_, &reporter_);
  ticks_.now = 300;
  reporter_.Configure({.debug = true});
  EXPECT_EQ(watch.ElapsedMs("t1"), 596);
  EXPECT_EQ(reporter_.TakeOut(), "Start: 4294967000\nEnd  : 300\nDelta: 596\n");
}

TEST_F(StopwatchTest, DebugTraceOfUnknownTimerShowsZeros) {
  Stopwatch watch("t1", ticks_, &reporter_);
  reporter_.Configure({.debug = true});
  EXPECT_EQ(watch.ElapsedSeconds("nope"), 0.0);
  EXPECT_EQ(reporter_.TakeOut(), "Start: 0\nEnd  : 0\nDelta: 0\n");
}

}  // namespace
}  // namespace varnel
