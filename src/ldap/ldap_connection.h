// The seam between Varnel and the LDAP client library: one directory session
// with the handful of requests the tool makes. OpenLdapConnection (the real
// one) wraps libldap; tests put a fake behind the same interface.
//
// Every result code returned here is already in the tool's numbering: the
// server's code, or a client-side failure as 0x51..0x61 (see result_codes.h).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ldap/server_address.h"

namespace varnel {

struct LdapAttribute {
  std::string name;
  std::vector<std::string> values;  // raw bytes; empty when only names were asked for
};

struct LdapEntry {
  std::string dn;
  std::vector<LdapAttribute> attributes;  // in the order the server sent them

  // Values of the first attribute of that name (letter case ignored), or null.
  const std::vector<std::string>* Find(const std::string& name) const;
};

enum class LdapScope { kBase = 0, kOneLevel = 1, kSubtree = 2 };

struct LdapSearchRequest {
  std::string base;  // empty: the root DSE
  LdapScope scope = LdapScope::kBase;
  std::string filter;
  // nullopt asks for all attributes; otherwise exactly these.
  std::optional<std::vector<std::string>> attributes;
  bool attributesOnly = false;
};

struct LdapModification {
  // kAdd adds values, which must not be there; kDelete removes the values
  // given, which must be there, or the whole attribute when none are given.
  enum class Op { kAdd = 0, kDelete = 1, kReplace = 2 };
  Op op = Op::kReplace;
  std::string type;
  std::vector<std::string> values;  // empty for a removal of the whole attribute
};

// Session options the tool sets, by the numbers the C LDAP API gives them.
enum class LdapOption { kVersion = 0x11 };

// SASL security strength factors, in bits: 0 is no security layer, 1
// integrity only, 56 and more a sealed (encrypted) session.
struct SaslSsfRange {
  unsigned min = 0;
  unsigned max = 0;
};

// What protects a session before its negotiate bind.
struct SessionSecurity {
  bool tls = false;     // the server was named ldaps://: TLS carries the session
  SaslSsfRange sasl{};  // as the library's settings (SASL_SECPROPS) left it
  // The minssf the administrator wrote in those settings, when one was written.
  std::optional<unsigned> explicitMinSsf{};
};

// What protects a session after a successful negotiate bind.
struct BoundSecurity {
  bool tlsInPlace = false;
  unsigned saslSsf = 0;  // the SASL layer negotiated (LDAP_OPT_X_SASL_SSF)
};

class LdapConnection {
 public:
  virtual ~LdapConnection() = default;

  // Returns 0 or a result code.
  virtual int SetOption(LdapOption option, int value) = 0;
  // Binds with the Kerberos credentials of the user running the tool.
  // NegotiateBindSealed (sealed_bind.h) is the bind the tool makes: it adds the
  // sealing rule around this one.
  virtual int NegotiateBind() = 0;
  virtual SessionSecurity Security() = 0;
  // The SASL range the next negotiate bind may settle on; 0 or a result code.
  virtual int SetSaslSsf(const SaslSsfRange& range) = 0;
  virtual BoundSecurity Bound() = 0;

  // One synchronous search. On success the entries are appended to *entries.
  // On failure the code is returned and *entries may hold what arrived.
  virtual int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) = 0;
  // One synchronous modify request carrying every modification.
  virtual int Modify(const std::string& dn, const std::vector<LdapModification>& mods) = 0;

  // Requests that may be outstanding together on the one session, for a run
  // that does not wait a round trip per request. Start* returns 0 and the
  // request's id in *id, or a result code (nothing was sent); Finish* waits
  // for that request's answer (answers to the others stay queued) and
  // returns its code as Search and Modify do. Every started request is
  // finished once. This default answers at once, through Search and Modify.
  virtual int StartSearch(const LdapSearchRequest& request, int* id);
  virtual int FinishSearch(int id, std::vector<LdapEntry>* entries);
  virtual int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                          int* id);
  virtual int FinishModify(int id);
  // A search that goes out with the next negotiate bind, just before it, so
  // that it costs no round trip of its own. The server answers it before the
  // bind, as the session stands then (anonymous, and in the clear unless TLS
  // carries it), or abandons it: what it says is a hint, never a fact to
  // act on. Once the bind is over, TakeSentWithBind gives its entries when
  // its answer came with the bind's and succeeded, nullopt otherwise. This
  // default sends nothing with the bind.
  virtual void SendWithBind(const LdapSearchRequest& request) { (void)request; }
  virtual std::optional<std::vector<LdapEntry>> TakeSentWithBind() { return std::nullopt; }
  // The longest wait for any one answer from now on (the connection's own
  // until this is called); 0 takes only the answers that have arrived.
  virtual void SetAnswerTimeout(int seconds) { (void)seconds; }
  // The server's diagnostic text for the last operation, when it sent one.
  virtual std::optional<std::string> DiagnosticMessage() = 0;
  // After a failed negotiate bind: the credential cache that held no valid
  // Kerberos ticket, when that is why; nullopt otherwise.
  virtual std::optional<std::string> MissingTicketCache() { return std::nullopt; }
  // After a failed bind on an ldaps:// session: true when the server was
  // reached but TLS could not be set up (the certificate check or the
  // handshake failed), so the failure is not an unreachable server.
  virtual bool TlsSetupFailed() { return false; }

  // For a session that reconnects by itself (ResilientSession): the code of
  // a loss it could not recover from (0 while it is usable). A plain session
  // never reconnects.
  virtual int ConnectionLoss() const { return 0; }
  // A run that is ending makes no new connection: a loss from now on is for
  // good.
  virtual void StopReconnecting() {}

 private:
  // The default asynchronous requests: answered when started.
  int TakeAnswer(int id, std::vector<LdapEntry>* entries);
  struct Answered {
    int rc = 0;
    std::vector<LdapEntry> entries;
  };
  std::map<int, Answered> answered_;
  int nextId_ = 1;
};

// Opens (but does not bind) a session. server null: the library's default.
// On failure returns null and sets *systemError.
class LdapConnector {
 public:
  virtual ~LdapConnector() = default;
  virtual std::unique_ptr<LdapConnection> Open(const ServerAddress* server, int* systemError) = 0;
};

}  // namespace varnel
