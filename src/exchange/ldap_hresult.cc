#include "exchange/ldap_hresult.h"

#include "diag/directory_codes.h"

namespace varnel {

HResult HResultFromLdapCode(int ldapCode) { return HResultFromWin32(Win32FromLdapCode(ldapCode)); }

}  // namespace varnel
