// The rules of what a run may send next, without a channel.
#include "run/send_rules.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(SendRulesTest, WritesAndReadsShareTheWindow) {
  SendRules rules(SendLimits{.window = 4, .continueOnError = true});
  // Half each while reads are to come; a read beyond the reads' half (the
  // window shrank) holds no write back; with none to come, all for writes.
  EXPECT_TRUE(rules.RoomToWrite(1, 2, 9));
  EXPECT_FALSE(rules.RoomToWrite(2, 0, 9));
  EXPECT_TRUE(rules.RoomToWrite(1, 3, 3));
  EXPECT_TRUE(rules.RoomToWrite(3, 0, 0));
  EXPECT_FALSE(rules.RoomToWrite(4, 0, 0));
  EXPECT_TRUE(rules.RoomToRead(1, 3, false));
  EXPECT_FALSE(rules.RoomToRead(2, 2, false));
  // A read item waiting for room to be written keeps a place for its write.
  EXPECT_FALSE(rules.RoomToRead(1, 3, true));
  // Even a window of one lets a read through.
  SendRules one(SendLimits{.window = 1, .continueOnError = true});
  EXPECT_TRUE(one.RoomToRead(0, 0, false));
  EXPECT_TRUE(one.RoomToWrite(0, 0, 1));
  EXPECT_FALSE(one.RoomToWrite(0, 1, 1));
}

TEST(SendRulesTest, WithoutContWritesStartAloneAndStopAtTheFirstFailure) {
  SendRules rules(SendLimits{.window = 32});
  EXPECT_FALSE(rules.RoomToWrite(1, 0, 0));
  // Each success lets seven more out.
  rules.WriteSucceeded();
  EXPECT_TRUE(rules.RoomToWrite(7, 0, 0));
  EXPECT_FALSE(rules.RoomToWrite(8, 0, 0));
  EXPECT_FALSE(rules.Halted());
  rules.Failed(5);
  rules.Failed(3);
  rules.Failed(4);
  EXPECT_TRUE(rules.Halted());
  EXPECT_EQ(rules.FirstFailure(), 3u);
  EXPECT_FALSE(rules.HaltedBefore(3));
  EXPECT_TRUE(rules.HaltedBefore(4));
  // With -cont a failure halts nothing.
  SendRules cont(SendLimits{.window = 8, .continueOnError = true});
  cont.Failed(0);
  EXPECT_FALSE(cont.HaltedBefore(1));
}

TEST(SendRulesTest, AFixedWindowIgnoresTheServersLoad) {
  SendRules fixed(SendLimits{.window = 8});
  fixed.Overloaded(8);
  EXPECT_EQ(fixed.Window(), 8u);
  SendRules found(SendLimits{});
  const uint32_t before = found.Window();
  found.Overloaded(before);
  EXPECT_LT(found.Window(), before);
}

TEST(SendRulesTest, RateSpacesTheStarts) {
  SendRules rules(SendLimits{.window = 8, .rate = 10});
  EXPECT_TRUE(rules.RateAllows(0));
  rules.Started(0);
  EXPECT_EQ(rules.RateWait(40), 60u);
  EXPECT_TRUE(rules.RateAllows(100));
}

}  // namespace
}  // namespace varnel
