#include "ldap/resilient_session.h"

#include "ldap/result_codes.h"
#include "platform/tick_counter.h"

namespace varnel {

bool IsConnectionLoss(int rc) { return rc == kLdapServerDown || rc == kLdapTimeout; }

ResilientSession::ResilientSession(std::unique_ptr<LdapConnection> session, Opener reopen,
                                   const TickCounter& ticks, Pause pause)
    : session_(std::move(session)),
      reopen_(std::move(reopen)),
      ticks_(ticks),
      pause_(std::move(pause)) {}

bool ResilientSession::Recover(int rc) {
  if (!IsConnectionLoss(rc) || !session_) return false;
  loss_ = rc;
  session_.reset();  // the old connection is of no further use
  const uint32_t lostAt = ticks_.Now();
  const uint32_t pauses[] = {0, kFirstPauseMs, kSecondPauseMs};
  for (uint32_t pauseMs : pauses) {
    if (pauseMs != 0) {
      if (static_cast<uint32_t>(ticks_.Now() - lostAt) + pauseMs > kRetryWindowMs) break;
      pause_(pauseMs);
    }
    session_ = reopen_();
    if (session_) {
      ++reconnections_;
      return true;
    }
  }
  return false;
}

int ResilientSession::SetOption(LdapOption option, int value) {
  return session_ ? session_->SetOption(option, value) : loss_;
}

int ResilientSession::SimpleBind(const std::string* dn, const std::string* password) {
  return session_ ? session_->SimpleBind(dn, password) : loss_;
}

int ResilientSession::NegotiateBind(const NegotiateIdentity* identity) {
  return session_ ? session_->NegotiateBind(identity) : loss_;
}

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

std::optional<std::string> ResilientSession::DiagnosticMessage() {
  return session_ ? session_->DiagnosticMessage() : std::nullopt;
}

std::optional<std::string> ResilientSession::MissingTicketCache() {
  return session_ ? session_->MissingTicketCache() : std::nullopt;
}

}  // namespace varnel
