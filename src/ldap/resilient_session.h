// A directory session that survives a lost connection. When a request finds
// the connection gone (0x51) or its answer does not come in time (0x55), the
// session is opened and bound anew: at most three tries, none starting later
// than 30 seconds after the loss, with growing pauses between them. A search
// is then sent again, since reading twice is harmless. A modify is not: it
// may have landed, so its caller reads the object again and plans anew. When
// no try succeeds the session is gone for good, and every later request fails
// at once with the loss's code, so a long list ends in seconds, not hours.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "ldap/ldap_connection.h"

namespace varnel {

class TickCounter;

class ResilientSession : public LdapConnection {
 public:
  // Opens and binds a new session; null when that fails.
  using Opener = std::function<std::unique_ptr<LdapConnection>()>;
  // Waits the given number of milliseconds.
  using Pause = std::function<void(uint32_t)>;

  // `tryMs`: the longest one try to connect again may take; no try starts
  // that could not end within the retry window.
  ResilientSession(std::unique_ptr<LdapConnection> session, Opener reopen, const TickCounter& ticks,
                   Pause pause, uint32_t tryMs = 0);

  int SetOption(LdapOption option, int value) override;
  int NegotiateBind() override;
  SessionSecurity Security() override;
  int SetSaslSsf(const SaslSsfRange& range) override;
  BoundSecurity Bound() override;
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override;
  // A request outstanding when its connection was lost is finished on that
  // connection: an answer that arrived before the loss counts, any other
  // ends in the loss's code.
  int StartSearch(const LdapSearchRequest& request, int* id) override;
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override;
  int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                  int* id) override;
  int FinishModify(int id) override;
  void SetAnswerTimeout(int seconds) override {
    if (session_) session_->SetAnswerTimeout(seconds);
  }
  std::optional<std::string> DiagnosticMessage() override;
  std::optional<std::string> MissingTicketCache() override;
  bool TlsSetupFailed() override { return session_ && session_->TlsSetupFailed(); }

  void StopReconnecting() override { reconnecting_ = false; }
  int ConnectionLoss() const override { return session_ ? 0 : loss_; }

  // The pauses before the second and the third try, and the time after the
  // loss after which no try starts.
  static constexpr uint32_t kFirstPauseMs = 2000;
  static constexpr uint32_t kSecondPauseMs = 6000;
  static constexpr uint32_t kRetryWindowMs = 30000;

 private:
  // After a request ended in `rc`: when it is a loss, tries to connect again.
  // True when a new session is in place.
  bool Recover(int rc);

  // The connection an outstanding request went out on, and its id there.
  struct Outstanding {
    uint32_t connection = 0;
    int id = 0;
  };
  // Takes the outstanding request and the session it went out on: the
  // current one, or a replaced one kept until its requests are finished
  // (answers that arrived before the loss still count). Null when unknown.
  LdapConnection* TakeOutstanding(int id, Outstanding* request);
  // Drops a replaced session once nothing is outstanding on it.
  void ReleaseRetired(uint32_t connection);

  std::unique_ptr<LdapConnection> session_;  // null once gone for good
  uint32_t connection_ = 0;                  // counts the connections made
  std::map<int, Outstanding> outstanding_;
  std::map<uint32_t, std::unique_ptr<LdapConnection>> retired_;
  int nextId_ = 1;
  Opener reopen_;
  const TickCounter& ticks_;
  Pause pause_;
  uint32_t tryMs_ = 0;
  bool reconnecting_ = true;
  int loss_ = 0;
};

// True for the codes of a lost connection or an answer that did not come.
bool IsConnectionLoss(int rc);

}  // namespace varnel
