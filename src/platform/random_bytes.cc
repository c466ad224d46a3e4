#include "platform/random_bytes.h"

#include <sys/random.h>

#include <cerrno>

namespace varnel {

bool FillRandomBytes(std::span<uint8_t> bytes) {
  size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace varnel
