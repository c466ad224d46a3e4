// A session that sends a few searches before they are asked for, so that
// searches that would each wait a round trip for the one before go out
// together. A later Search is answered from one sent ahead when that one
// holds exactly its answer:
//   - the same request, sent ahead;
//   - a subtree search below an entry one of the answers named (so the base
//     is known to exist), when a subtree search with the same filter and
//     attributes went ahead from a base at or above it: its entries at or
//     below the base, in the server's order.
// Anything else, and a search sent ahead that failed, goes to the session
// as it would have. Everything other than Search passes straight through.
// A search sent ahead answers once exactly; those below it as often as they
// are asked.
#pragma once

#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

class SearchesAhead : public LdapConnection {
 public:
  explicit SearchesAhead(LdapConnection& session) : session_(session) {}

  // Sends `request` now; nothing when it cannot be sent (it is then asked for
  // in the ordinary way).
  void Send(const LdapSearchRequest& request);

  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;

  int SetOption(LdapOption option, int value) override { return session_.SetOption(option, value); }
  int NegotiateBind() override { return session_.NegotiateBind(); }
  SessionSecurity Security() override { return session_.Security(); }
  int SetSaslSsf(const SaslSsfRange& range) override { return session_.SetSaslSsf(range); }
  BoundSecurity Bound() override { return session_.Bound(); }
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override {
    return session_.Modify(dn, mods);
  }
  int StartSearch(const LdapSearchRequest& request, int* id) override {
    return session_.StartSearch(request, id);
  }
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override {
    return session_.FinishSearch(id, entries);
  }
  int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                  int* id) override {
    return session_.StartModify(dn, mods, id);
  }
  int FinishModify(int id) override { return session_.FinishModify(id); }
  void SetAnswerTimeout(int seconds) override { session_.SetAnswerTimeout(seconds); }
  std::optional<std::string> DiagnosticMessage() override { return session_.DiagnosticMessage(); }
  std::optional<std::string> MissingTicketCache() override { return session_.MissingTicketCache(); }
  bool TlsSetupFailed() override { return session_.TlsSetupFailed(); }
  int ConnectionLoss() const override { return session_.ConnectionLoss(); }
  void StopReconnecting() override { session_.StopReconnecting(); }

 private:
  struct Ahead {
    LdapSearchRequest request;
    int id = 0;
    bool answered = false;
    bool used = false;  // its own answer given
    int rc = 0;
    std::vector<LdapEntry> entries{};
  };
  // Waits for the answer of `ahead` when it has not come yet.
  void Answer(Ahead& ahead);
  // True when an answered search names an entry at `dn` (letter case ignored).
  bool Named(const std::string& dn) const;
  bool AnswerBelow(const LdapSearchRequest& request, std::vector<LdapEntry>* entries);

  LdapConnection& session_;
  std::vector<Ahead> ahead_;
};

}  // namespace varnel
