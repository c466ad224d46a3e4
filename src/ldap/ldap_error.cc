#include "ldap/ldap_error.h"

#include <cstdio>
#include <optional>

#include "diag/reporter.h"
#include "ldap/ldap_connection.h"
#include "ldap/result_codes.h"

namespace varnel {

namespace {

std::string Hex(int code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(code));
  return buffer;
}

}  // namespace

void LdapReportError(Reporter& reporter, const std::string& label, const std::string& server,
                     int code, LdapConnection* session) {
  std::optional<std::string> extended;
  if (session != nullptr) extended = session->DiagnosticMessage();
  reporter.err() << label << ": [" << server << "] Error 0x" << Hex(code) << " (" << code << ") - "
                 << LdapErrorText(code) << EndLine;
  if (extended && !extended->empty())
    reporter.err() << "Extended Error: (" << *extended << ")" << EndLine;
}

void PrintSearchError(Reporter& reporter, int code) {
  reporter.err() << "LDAP_SEARCH_S: 0x" << Hex(code) << "\nLDAP_SEARCH_S: " << LdapErrorText(code)
                 << "\n"
                 << EndLine;
}

}  // namespace varnel
