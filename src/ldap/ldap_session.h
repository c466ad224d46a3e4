// Opening the run's one LDAP session: the port rule, the parameter dump, the
// protocol version and the bind, each failure reported with the standard
// error line.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

// A run's session: protocol version 3, referrals followed, bound with SASL
// GSS-SPNEGO as the user running the tool.
struct OpenLdapParams {
  std::optional<std::string> server{};  // nullopt: the library's default server
  bool extendedErrorInfo = false;       // the server's text after the bind's error line
  // The longest wait for any one answer, the bind's included; none: the
  // connection's own.
  std::optional<int> answerTimeoutSeconds{};
  // The root DSE is asked for with the bind: the session's TakeSentWithBind
  // then holds what it said before the bind, a hint of what the bound
  // session will read.
  bool rootDseWithBind = false;
};

// The server text used in error lines: the host (server_address.h), a
// leading "." shown as "localhost"; a text that names no server as it is.
std::string DisplayServerText(const std::optional<std::string>& server);

// OpenLDAP binds with NegotiateBindSealed (sealed_bind.h): a session the
// sealing rule refuses ends with one "ERROR: LDAP_BIND:" line, and one left
// unsealed on purpose goes on after a "WARNING: LDAP_BIND:" line.

// Opens and binds a session. Returns null after printing the reason.
std::unique_ptr<LdapConnection> OpenLDAP(Reporter& reporter, LdapConnector& connector,
                                         OpenLdapParams params);

}  // namespace varnel
