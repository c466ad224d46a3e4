// The LDAP result code of a directory request turned into the result code the
// directory object service reports: HRESULT_FROM_WIN32 of the well-known LDAP
// to Win32 mapping of the directory service interfaces.
#pragma once

#include <cstdint>

#include "diag/directory_codes.h"
#include "exchange/hresult.h"

namespace varnel {

// HResultFromWin32(Win32FromLdapCode(ldapCode)).
HResult HResultFromLdapCode(int ldapCode);

}  // namespace varnel
