// The real LdapConnection over OpenLDAP's libldap: an ldap:// or ldaps://
// session bound with SASL GSS-SPNEGO (GSSAPI when the server lacks it) from
// the user's Kerberos ticket cache, or with a simple bind. Every library handle it
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
  // tls: the session was opened on an ldaps:// URI. explicitMinSsf: the
  // administrator's own minssf, read from the settings libldap reads.
  OpenLdapConnection(LdapSessionPtr session, bool tls, std::optional<unsigned> explicitMinSsf);
  OpenLdapConnection(const OpenLdapConnection&) = delete;
  OpenLdapConnection& operator=(const OpenLdapConnection&) = delete;

  int SetOption(LdapOption option, int value) override;
  int SimpleBind(const std::string* dn, const std::string* password) override;
  int NegotiateBind(const NegotiateIdentity* identity) override;
  SessionSecurity Security() override;
  int SetSaslSsf(const SaslSsfRange& range) override;
  BoundSecurity Bound() override;
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override;
  int StartSearch(const LdapSearchRequest& request, int* id) override;
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override;
  int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                  int* id) override;
  int FinishModify(int id) override;
  void SetAnswerTimeout(int seconds) override;
  std::optional<std::string> DiagnosticMessage() override;
  std::optional<std::string> MissingTicketCache() override;
  bool TlsSetupFailed() override;

  // The longest wait for any one answer.
  static constexpr int kAnswerTimeoutSeconds = 30;

 private:
  // libldap calls it when it starts TLS on the connected socket.
  static int MarkTlsStarted(LDAP* ld, void* ssl, void* ctx, void* self);
  struct MessageDeleter {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
  };
  using MessagePtr = std::unique_ptr<LDAPMessage, MessageDeleter>;

  int SaslBind(const char* mechanism);
  void TakeEntries(LDAPMessage* result, bool attributesOnly, std::vector<LdapEntry>* entries);
  // Waits for the whole answer to request `id`; returns its result code.
  int WaitFor(int id, MessagePtr* result);
  int answerTimeout_ = kAnswerTimeoutSeconds;

  LdapSessionPtr session_;
  bool tls_ = false;
  bool tlsStarted_ = false;
  std::optional<unsigned> explicitMinSsf_;
  std::map<int, bool> attributesOnly_;  // outstanding searches
};

// Opens sessions with ldap_initialize: "ldap://host:port" for a named server
// ("ldaps://host:port" when it was written ldaps://), the library's
// configured default (ldap.conf, LDAPURI) otherwise.
class OpenLdapConnector : public LdapConnector {
 public:
  std::unique_ptr<LdapConnection> Open(const std::string* server, int port,
                                       int* systemError) override;

 private:
  // Read once, on the first open: libldap too reads its settings once.
  std::optional<std::optional<unsigned>> explicitMinSsf_;
};

}  // namespace varnel
