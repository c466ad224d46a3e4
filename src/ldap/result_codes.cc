#include "ldap/result_codes.h"

#include <ldap.h>

namespace varnel {

int NormalizeLdapCode(int libraryCode) {
  if (libraryCode <= -1 && libraryCode >= -17) return 0x50 - libraryCode;
  return libraryCode;
}

const char* LdapErrorText(int code) {
  if (code >= 0x51 && code <= 0x61) return ldap_err2string(0x50 - code);
  return ldap_err2string(code);
}

}  // namespace varnel
