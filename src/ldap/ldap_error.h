// The tool's standard lines for failed LDAP calls: the error line
// "label: [server] Error 0x.. (..) - text" with the optional extended error
// line, and the trace of a failed search.
#pragma once

#include <string>

namespace varnel {

class LdapConnection;
class Reporter;

// The error line "%s: [%s] Error 0x%0x (%d) - %s\n", followed by
// "Extended Error: (%s)\n" when `extended` is not empty.
std::string LdapErrorLines(const std::string& label, const std::string& server, int code,
                           const std::string& extended = "");

// Prints LdapErrorLines on standard error, with the session's extended error
// when a session is given.
void LdapReportError(Reporter& reporter, const std::string& label, const std::string& server,
                     int code, LdapConnection* session);

// The trace of a failed search, for standard error:
// "LDAP_SEARCH_S: 0x%0x\nLDAP_SEARCH_S: %s\n\n".
std::string SearchErrorText(int code);

// Prints SearchErrorText(code) on standard error.
void PrintSearchError(Reporter& reporter, int code);

}  // namespace varnel
