// GoogleTest's capture of the standard streams under short names, for tests
// that check what a component printed.
#pragma once

#include <gtest/gtest.h>

namespace varnel {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

}  // namespace varnel
