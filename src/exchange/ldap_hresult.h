// The LDAP result code of a directory request turned into the result code the
// directory object service reports: HRESULT_FROM_WIN32 of the well-known LDAP
// to Win32 mapping of the directory service interfaces.
#pragma once

#include <cstdint>

#include "exchange/hresult.h"

namespace varnel {

// The Win32 code for an LDAP result code in the tool's numbering (client-side
// failures as 0x51..0x61). 0 stays 0; a code without a mapping gives 8341
// (ERROR_DS_GENERIC_ERROR).
uint32_t Win32FromLdapCode(int ldapCode);

// HResultFromWin32(Win32FromLdapCode(ldapCode)).
HResult HResultFromLdapCode(int ldapCode);

}  // namespace varnel
