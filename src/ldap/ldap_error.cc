#include "ldap/ldap_error.h"

#include <cstdio>
#include <optional>

#include "ldap/ldap_connection.h"
#include "ldap/result_codes.h"

namespace varnel {

void LdapReportError(const std::string& label, const std::string& server, int code,
                     LdapConnection* session) {
  std::optional<std::string> extended;
  if (session != nullptr) extended = session->DiagnosticMessage();
  std::fprintf(stderr, "%s: [%s] Error 0x%0x (%d) - %s\n", label.c_str(), server.c_str(),
               static_cast<unsigned>(code), code, LdapErrorText(code));
  if (extended && !extended->empty())
    std::fprintf(stderr, "Extended Error: (%s)\n", extended->c_str());
  std::fflush(stderr);
}

void PrintSearchError(int code) {
  std::fprintf(stderr, "LDAP_SEARCH_S: 0x%0x\nLDAP_SEARCH_S: %s\n\n", static_cast<unsigned>(code),
               LdapErrorText(code));
  std::fflush(stderr);
}

}  // namespace varnel
