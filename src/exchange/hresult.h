// Component-object result codes as the directory object service returns them:
// a signed 32-bit value, 0 for success, with the published codes the tool
// produces or passes on named here.
#pragma once

#include <cstdint>

namespace varnel {

using HResult = int32_t;

// Makes a code from its published unsigned spelling (0x8000....).
constexpr HResult MakeHResult(uint32_t code) { return static_cast<HResult>(code); }

inline constexpr HResult kSOk = 0;

// General component-object failures.
inline constexpr HResult kENotImpl = MakeHResult(0x80004001);
inline constexpr HResult kENoInterface = MakeHResult(0x80004002);
inline constexpr HResult kEPointer = MakeHResult(0x80004003);
inline constexpr HResult kEFail = MakeHResult(0x80004005);
inline constexpr HResult kEOutOfMemory = MakeHResult(0x8007000E);
inline constexpr HResult kEInvalidArg = MakeHResult(0x80070057);

// Directory service interface failures.
inline constexpr HResult kEAdsBadPathname = MakeHResult(0x80005000);
inline constexpr HResult kEAdsPropertyInvalid = MakeHResult(0x80005007);
inline constexpr HResult kEAdsBadParameter = MakeHResult(0x80005008);
inline constexpr HResult kEAdsPropertyNotFound = MakeHResult(0x8000500D);

// Win32 codes in component-object form.
inline constexpr HResult kEObjectAlreadyExists = MakeHResult(0x80071392);  // 5010
inline constexpr HResult kEDsNoSuchObject = MakeHResult(0x80072030);       // 8240

// HRESULT_FROM_WIN32: 0 stays 0, anything else becomes 0x8007xxxx with the
// low 16 bits of the Win32 code.
constexpr HResult HResultFromWin32(uint32_t win32) {
  return win32 == 0 ? kSOk : MakeHResult(0x80070000u | (win32 & 0xFFFFu));
}

}  // namespace varnel
