// The real LdapConnection over OpenLDAP's libldap: an ldap:// session bound
// with SASL GSS-SPNEGO (GSSAPI when the server lacks it) from the user's
// Kerberos ticket cache, or with a simple bind. Every library handle it
// touches is owned by an RAII holder.
#pragma once

#include <ldap.h>

#include <map>
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
  int StartSearch(const LdapSearchRequest& request, int* id) override;
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override;
  int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                  int* id) override;
  int FinishModify(int id) override;
  std::optional<std::string> DiagnosticMessage() override;
  std::optional<std::string> MissingTicketCache() override;

  // The longest wait for any one answer.
  static constexpr int kAnswerTimeoutSeconds = 30;

 private:
  struct MessageDeleter {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
  };
  using MessagePtr = std::unique_ptr<LDAPMessage, MessageDeleter>;

  int SaslBind(const char* mechanism);
  void TakeEntries(LDAPMessage* result, bool attributesOnly, std::vector<LdapEntry>* entries);
  // Waits for the whole answer to request `id`; returns its result code.
  int WaitFor(int id, MessagePtr* result);

  LdapSessionPtr session_;
  std::map<int, bool> attributesOnly_;  // outstanding searches
};

// Opens sessions with ldap_initialize: "ldap://host:port" for a named server,
// the library's configured default (ldap.conf, LDAPURI) otherwise.
class OpenLdapConnector : public LdapConnector {
 public:
  std::unique_ptr<LdapConnection> Open(const std::string* server, int port,
                                       int* systemError) override;
};

}  // namespace varnel
