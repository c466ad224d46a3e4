#include "ldap/ldap_error.h"

#include <ios>
#include <optional>
#include <sstream>

#include "diag/reporter.h"
#include "ldap/ldap_connection.h"
#include "ldap/result_codes.h"

namespace varnel {

void LdapReportError(Reporter& reporter, const std::string& label, const std::string& server,
                     int code, LdapConnection* session) {
  std::optional<std::string> extended;
  if (session != nullptr) extended = session->DiagnosticMessage();
  reporter.err() << label << ": [" << server << "] Error 0x" << std::hex
                 << static_cast<unsigned>(code) << std::dec << " (" << code << ") - "
                 << LdapErrorText(code) << EndLine;
  if (extended && !extended->empty())
    reporter.err() << "Extended Error: (" << *extended << ")" << EndLine;
}

std::string SearchErrorText(int code) {
  std::ostringstream text;
  text << "LDAP_SEARCH_S: 0x" << std::hex << static_cast<unsigned>(code) << std::dec
       << "\nLDAP_SEARCH_S: " << LdapErrorText(code) << "\n\n";
  return text.str();
}

void PrintSearchError(Reporter& reporter, int code) {
  reporter.err() << SearchErrorText(code) << std::flush;
}

}  // namespace varnel
