#include "platform/exit_status.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace varnel {
namespace {

TEST(ExitStatusTest, KeepsEightBitsWithoutTurningFailureIntoSuccess) {
  EXPECT_EQ(ToExitStatus(0), 0);
  EXPECT_EQ(ToExitStatus(1), 1);
  EXPECT_EQ(ToExitStatus(0x51), 0x51);
  EXPECT_EQ(ToExitStatus(255), 255);
  EXPECT_EQ(ToExitStatus(-1), 255);
  EXPECT_EQ(ToExitStatus(256), 254);
  EXPECT_EQ(ToExitStatus(512), 254);
  EXPECT_EQ(ToExitStatus(-2), 254);
  EXPECT_EQ(ToExitStatus(static_cast<int32_t>(0x80072030)), 254);
  EXPECT_EQ(ToExitStatus(INT32_MIN), 254);
}

}  // namespace
}  // namespace varnel
