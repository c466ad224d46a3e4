#include "platform/exit_status.h"

namespace varnel {

int ToExitStatus(int32_t status) {
  if (status == 0) return 0;
  if (status >= 1 && status <= 255) return status;
  if (status == -1) return 255;
  return 254;
}

}  // namespace varnel
