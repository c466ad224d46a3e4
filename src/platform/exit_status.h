// Maps a run's signed 32-bit status onto the 8 bits a POSIX process keeps:
// 0 stays 0, 1..255 as is, -1 becomes 255, anything else 254, so that no
// failure ever exits 0.
#pragma once

#include <cstdint>

namespace varnel {

int ToExitStatus(int32_t status);

}  // namespace varnel
