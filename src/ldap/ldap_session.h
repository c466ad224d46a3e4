// Opening the run's one LDAP session: the port rule, the parameter dump, the
// session options and the bind, each failure reported with the standard
// error line.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

struct OpenLdapParams {
  std::optional<std::string> server{};  // nullopt: the library's default server
  int port = 0;                         // 1: global catalog; 2 or more: as given
  bool ref = true;
  bool v3 = true;
  bool anonymous = false;
  std::string userdn{};
  std::string password{};
  bool simple = false;
  bool encrypt = false;  // LDAP_OPT_ENCRYPT
  bool extendedErrorInfo = false;
  // The longest wait for any one answer, the bind's included; none: the
  // connection's own.
  std::optional<int> answerTimeoutSeconds{};
};

// The server text used in error lines: up to the first ":", and a leading
// "." shown as "localhost"; of a URI (server_address.h) its host.
std::string DisplayServerText(const std::optional<std::string>& server);

// 389, or the port written after the host name, overridden by port 1 (3268)
// or a port of 2 or more. A URI: its port, else 389 for ldap:// and 636 for
// ldaps://; port 1 is 3268, or 3269 over ldaps://.
int ChoosePort(const std::optional<std::string>& server, int port);

// OpenLDAP binds with NegotiateBindSealed (sealed_bind.h): a session the
// sealing rule refuses ends with one "ERROR: LDAP_BIND:" line, and one left
// unsealed on purpose goes on after a "WARNING: LDAP_BIND:" line.

// Opens and binds a session. Returns null after printing the reason.
std::unique_ptr<LdapConnection> OpenLDAP(Reporter& reporter, LdapConnector& connector,
                                         OpenLdapParams params);

}  // namespace varnel
