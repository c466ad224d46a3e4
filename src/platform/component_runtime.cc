#include "platform/component_runtime.h"

namespace varnel {

int32_t InitializeComponentRuntime() { return kComponentRuntimeOk; }

}  // namespace varnel
