#include "ldap/resilient_session.h"

#include "ldap/result_codes.h"
#include "platform/stop_request.h"
#include "platform/tick_counter.h"

namespace varnel {

bool IsConnectionLoss(int rc) { return rc == kLdapServerDown || rc == kLdapTimeout; }

ResilientSession::ResilientSession(std::unique_ptr<LdapConnection> session, Opener reopen,
                                   const TickCounter& ticks, Pause pause, uint32_t tryMs)
    : session_(std::move(session)),
      reopen_(std::move(reopen)),
      ticks_(ticks),
      pause_(std::move(pause)),
      tryMs_(tryMs) {}

bool ResilientSession::Recover(int rc) {
  if (!IsConnectionLoss(rc) || !session_) return false;
  loss_ = rc;
  // The old connection carries no new request; the answers it already holds
  // are still read.
  bool busy = false;
  for (const auto& [id, request] : outstanding_) busy = busy || request.connection == connection_;
  // What is outstanding on it has waited its turn: answers that arrived
  // count, the others are not waited for again.
  if (busy) {
    session_->SetAnswerTimeout(0);
    retired_[connection_] = std::move(session_);
  }
  session_.reset();
  // A run that is ending makes no new connection.
  if (!reconnecting_ || StopSignalSeen() != 0) return false;
  const uint32_t lostAt = ticks_.Now();
  const uint32_t pauses[] = {0, kFirstPauseMs, kSecondPauseMs};
  for (uint32_t pauseMs : pauses) {
    if (pauseMs != 0) {
      if (static_cast<uint32_t>(ticks_.Now() - lostAt) + pauseMs + tryMs_ > kRetryWindowMs) break;
      pause_(pauseMs);
    }
    session_ = reopen_();
    if (session_) {
      ++connection_;
      return true;
    }
  }
  return false;
}

int ResilientSession::SetOption(LdapOption option, int value) {
  return session_ ? session_->SetOption(option, value) : loss_;
}

int ResilientSession::NegotiateBind() { return session_ ? session_->NegotiateBind() : loss_; }

SessionSecurity ResilientSession::Security() {
  return session_ ? session_->Security() : SessionSecurity{};
}

int ResilientSession::SetSaslSsf(const SaslSsfRange& range) {
  return session_ ? session_->SetSaslSsf(range) : loss_;
}

BoundSecurity ResilientSession::Bound() { return session_ ? session_->Bound() : BoundSecurity{}; }

int ResilientSession::Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) {
  if (!session_) return loss_;
  const size_t had = entries->size();
  int rc = session_->Search(request, entries);
  if (Recover(rc)) {
    entries->resize(had);  // drop what arrived before the loss
    rc = session_->Search(request, entries);
  }
  return rc;
}

int ResilientSession::Modify(const std::string& dn, const std::vector<LdapModification>& mods) {
  if (!session_) return loss_;
  const int rc = session_->Modify(dn, mods);
  Recover(rc);
  return rc;
}

LdapConnection* ResilientSession::TakeOutstanding(int id, Outstanding* request) {
  auto found = outstanding_.find(id);
  if (found == outstanding_.end()) return nullptr;
  *request = found->second;
  outstanding_.erase(found);
  if (session_ && request->connection == connection_) return session_.get();
  auto retired = retired_.find(request->connection);
  return retired == retired_.end() ? nullptr : retired->second.get();
}

void ResilientSession::ReleaseRetired(uint32_t connection) {
  if (session_ && connection == connection_) return;
  for (const auto& [id, request] : outstanding_) {
    if (request.connection == connection) return;
  }
  retired_.erase(connection);
}

int ResilientSession::StartSearch(const LdapSearchRequest& request, int* id) {
  if (!session_) return loss_;
  int inner = 0;
  int rc = session_->StartSearch(request, &inner);
  if (Recover(rc)) rc = session_->StartSearch(request, &inner);
  if (rc == 0) outstanding_[*id = nextId_++] = {connection_, inner};
  return rc;
}

int ResilientSession::FinishSearch(int id, std::vector<LdapEntry>* entries) {
  Outstanding request;
  LdapConnection* on = TakeOutstanding(id, &request);
  if (on == nullptr) return loss_ != 0 ? loss_ : kLdapServerDown;
  const int rc = on->FinishSearch(request.id, entries);
  if (on == session_.get()) {
    Recover(rc);  // the caller reads again once the connection is back
  } else {
    ReleaseRetired(request.connection);
  }
  return rc;
}

int ResilientSession::StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                                  int* id) {
  if (!session_) return loss_;
  int inner = 0;
  const int rc = session_->StartModify(dn, mods, &inner);
  if (rc == 0) {
    outstanding_[*id = nextId_++] = {connection_, inner};
  } else {
    Recover(rc);
  }
  return rc;
}

int ResilientSession::FinishModify(int id) {
  Outstanding request;
  LdapConnection* on = TakeOutstanding(id, &request);
  if (on == nullptr) return loss_ != 0 ? loss_ : kLdapServerDown;
  const int rc = on->FinishModify(request.id);
  if (on == session_.get()) {
    Recover(rc);
  } else {
    ReleaseRetired(request.connection);
  }
  return rc;
}

std::optional<std::string> ResilientSession::DiagnosticMessage() {
  return session_ ? session_->DiagnosticMessage() : std::nullopt;
}

std::optional<std::string> ResilientSession::MissingTicketCache() {
  return session_ ? session_->MissingTicketCache() : std::nullopt;
}

}  // namespace varnel
