// The English system message texts for Win32 error codes and the general
// component-object result codes, standing in for the system message table.
// Every text ends in a line feed, as the system prints it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace varnel {

// The text for `code`, or nothing when the table has none. A plain Win32 code
// (below 0x10000) and its component-object form 0x8007xxxx share the text of
// the Win32 code in the low 16 bits; other codes must match exactly.
std::optional<std::string_view> LookupSystemMessage(uint32_t code);

}  // namespace varnel
