// The well-known mapping between LDAP result codes (in the tool's numbering,
// client-side failures as 0x51..0x61) and the Win32 codes that the directory
// service interfaces report for them, in both directions.
#pragma once

#include <cstdint>
#include <optional>

namespace varnel {

// The Win32 code for an LDAP result code. 0 stays 0; a code without a mapping
// gives 8341 (ERROR_DS_GENERIC_ERROR).
uint32_t Win32FromLdapCode(int ldapCode);

// The LDAP result code that a Win32 code stands for (the first one, where
// two share it), or nullopt for 0 and for codes that no LDAP result maps to.
std::optional<int> LdapCodeFromWin32(uint32_t win32);

}  // namespace varnel
