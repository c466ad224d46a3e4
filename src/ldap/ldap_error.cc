#include "ldap/ldap_error.h"

#include <ios>
#include <optional>
#include <sstream>

#include "diag/reporter.h"
#include "ldap/ldap_connection.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {

std::string LdapErrorLines(const std::string& label, const std::string& server, int code,
                           const std::string& extended) {
  std::ostringstream text;
  text << label << ": [" << server << "] Error 0x" << std::hex << static_cast<unsigned>(code)
       << std::dec << " (" << code << ") - " << LdapErrorText(code) << '\n';
  // The server's text is shown as one line.
  if (!extended.empty()) text << "Extended Error: (" << OneLine(extended) << ")\n";
  return text.str();
}

void LdapReportError(Reporter& reporter, const std::string& label, const std::string& server,
                     int code, LdapConnection* session) {
  std::optional<std::string> extended;
  if (session != nullptr) extended = session->DiagnosticMessage();
  reporter.err() << LdapErrorLines(label, server, code, extended.value_or("")) << std::flush;
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
