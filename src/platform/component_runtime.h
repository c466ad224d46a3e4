// Start-up of the component runtime the directory object service runs in.
// On Linux there is nothing to initialise; the call exists so the run keeps
// one place where that start-up could fail.
#pragma once

#include <cstdint>

namespace varnel {

inline constexpr int32_t kComponentRuntimeOk = 0;

// Returns 0 (success) or a failure code.
int32_t InitializeComponentRuntime();

}  // namespace varnel
