// The real LdapConnection over OpenLDAP's libldap: an ldap:// session bound
// with SASL GSS-SPNEGO (GSSAPI when the server lacks it) from the user's
// Kerberos ticket cache, or with a simple bind. Every library handle it
// touches is owned by an RAII holder.
#pragma once

#include <ldap.h>

#include <memory>

#include "ldap/ldap_connection.h"

namespace varnel {

struct LdapSessionDeleter {
  void operator()(LDAP* ld) const;
};
using LdapSessionPtr = std::unique_ptr<LDAP, LdapSessionDeleter>;

class OpenLdapConnection : public LdapConnection {
 public:
  explicit OpenLdapConnection(LdapSessionPtr session) : session_(std::move(session)) {}

  int SetOption(LdapOption option, int value) override;
  int SimpleBind(const std::string* dn, const std::string* password) override;
  int NegotiateBind(const NegotiateIdentity* identity) override;
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override;
  std::optional<std::string> DiagnosticMessage() override;
  std::optional<std::string> MissingTicketCache() override;

 private:
  int SaslBind(const char* mechanism);

  LdapSessionPtr session_;
};

// Opens sessions with ldap_initialize: "ldap://host:port" for a named server,
// the library's configured default (ldap.conf, LDAPURI) otherwise.
class OpenLdapConnector : public LdapConnector {
 public:
  std::unique_ptr<LdapConnection> Open(const std::string* server, int port,
                                       int* systemError) override;
};

}  // namespace varnel
