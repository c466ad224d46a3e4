// The real LdapConnection over OpenLDAP's libldap: an ldap:// or ldaps://
// session bound with SASL GSS-SPNEGO (GSSAPI when the server lacks it) from
// the user's Kerberos ticket cache. Every library handle it touches is owned
// by an RAII holder.
#pragma once

#include <ldap.h>

#include <chrono>
#include <map>
#include <memory>

#include "ldap/ldap_connection.h"

namespace varnel {

struct LdapSessionDeleter {
  void operator()(LDAP* ld) const;
};
using LdapSessionPtr = std::unique_ptr<LDAP, LdapSessionDeleter>;

// The time a session's set-up may take: armed while a bind runs (the bind
// is where libldap connects, shakes hands for TLS and binds), and counted
// again from the moment the connection is made. While it is armed, every
// read and write of the connection waits in poll() for the time that is
// left and then fails with ETIMEDOUT; disarmed, it passes straight through.
class SetupDeadline {
 public:
  void Arm(int seconds);
  void Disarm() { armed_ = false; }
  // Counts the time again from now (the connection was just made).
  void Restart();
  // Waits until `fd` is ready for `events`. False when the time ran out
  // first (errno is then ETIMEDOUT); true at once when it is not armed.
  bool Wait(int fd, short events) const;

 private:
  using Clock = std::chrono::steady_clock;
  bool armed_ = false;
  int seconds_ = 0;
  Clock::time_point deadline_{};
};

class OpenLdapConnection : public LdapConnection {
 public:
  // tls: the session was opened on an ldaps:// URI. explicitMinSsf: the
  // administrator's own minssf, read from the settings libldap reads.
  OpenLdapConnection(LdapSessionPtr session, bool tls, std::optional<unsigned> explicitMinSsf);
  OpenLdapConnection(const OpenLdapConnection&) = delete;
  OpenLdapConnection& operator=(const OpenLdapConnection&) = delete;

  int SetOption(LdapOption option, int value) override;
  int NegotiateBind() override;
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
  void SendWithBind(const LdapSearchRequest& request) override { withBind_ = request; }
  std::optional<std::vector<LdapEntry>> TakeSentWithBind() override;
  void SetAnswerTimeout(int seconds) override;
  std::optional<std::string> DiagnosticMessage() override;
  std::optional<std::string> MissingTicketCache() override;
  bool TlsSetupFailed() override;

  // The longest wait for any one answer.
  static constexpr int kAnswerTimeoutSeconds = 30;

 private:
  // libldap calls it when it starts TLS on the connected socket.
  static int MarkTlsStarted(LDAP* ld, void* ssl, void* ctx, void* self);
  // libldap calls them when it has connected a socket and before it closes
  // one: a connection gets the set-up deadline's layer below TLS (which
  // goes with the socket buffer, so closing has nothing to undo).
  static int Connected(LDAP* ld, Sockbuf* sb, LDAPURLDesc* server, sockaddr* address,
                       ldap_conncb* callbacks);
  static void Closing(LDAP* ld, Sockbuf* sb, ldap_conncb* callbacks);
  // Runs a bind with the set-up deadline armed.
  template <typename Bind>
  int WithinSetupDeadline(Bind bind);
  struct MessageDeleter {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
  };
  using MessagePtr = std::unique_ptr<LDAPMessage, MessageDeleter>;

  int SaslBind(const char* mechanism);
  // The bind itself: GSS-SPNEGO, or GSSAPI when the server lacks it.
  int BindEitherMechanism();
  void TakeEntries(LDAPMessage* result, bool attributesOnly, std::vector<LdapEntry>* entries);
  // Waits for the whole answer to request `id`; returns its result code.
  int WaitFor(int id, MessagePtr* result);
  int answerTimeout_ = kAnswerTimeoutSeconds;

  // Both outlive the session, whose last connection is closed as it ends.
  SetupDeadline setupDeadline_;
  ldap_conncb connectCallbacks_{};
  LdapSessionPtr session_;
  bool tls_ = false;
  bool tlsStarted_ = false;
  std::optional<unsigned> explicitMinSsf_;
  std::map<int, bool> attributesOnly_;  // outstanding searches
  // The search to send with the next bind, and then its answer.
  std::optional<LdapSearchRequest> withBind_;
  std::optional<std::vector<LdapEntry>> sentWithBind_;
};

// Opens sessions with ldap_initialize: "ldap://host:port" for a named server
// ("ldaps://host:port" when it was written ldaps://), the library's
// configured default (ldap.conf, LDAPURI) otherwise.
class OpenLdapConnector : public LdapConnector {
 public:
  std::unique_ptr<LdapConnection> Open(const ServerAddress* server, int* systemError) override;

 private:
  // Read once, on the first open: libldap too reads its settings once.
  std::optional<std::optional<unsigned>> explicitMinSsf_;
};

}  // namespace varnel
