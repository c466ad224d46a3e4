// Cryptographically strong random bytes from the operating system, for
// identifiers that must not repeat (mailbox GUIDs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace varnel {

// Fills `bytes` from the kernel's random source. Returns false when the
// source cannot deliver; `bytes` is then unspecified.
bool FillRandomBytes(std::span<uint8_t> bytes);

}  // namespace varnel
