// The error line for a failed directory object step: prefix, "(0x" code ") "
// and a readable text, which is the directory service interface name of the
// code, the system's message text, or an unknown-code text.
#pragma once

#include <cstdint>
#include <string>

#include "diag/outcome.h"

namespace varnel {

class ItemLines;

// Adds on standard error the prefix, "(0x", the code of `failed` (a
// directory object code) in lower-case hexadecimal without leading zeros,
// ") " and ErrorCodeText(code), with no line end of its own. Returns
// `failed` unchanged.
Outcome AddAdsError(ItemLines& lines, const std::string& prefix, Outcome failed);

// "Success" for 0. For a code with both bits 0x5000 set, adds "adsi error"
// as a line of standard output and returns AdsErrorName(code) (possibly
// empty). For the facilities 0, 7 and 8, SystemMessageText(code). Otherwise
// "Unknown Error: 0x" and the code in lower-case hexadecimal.
std::string ErrorCodeText(ItemLines& lines, int32_t code);

// The E_ADS_... name of a code from the fixed table, or "" when the code does
// not have both bits 0x5000 set or has no row.
std::string AdsErrorName(int32_t code);

// The system's message text for a code, or "Unknown Error\n".
std::string SystemMessageText(int32_t code);

}  // namespace varnel
