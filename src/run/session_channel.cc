#include "run/session_channel.h"

namespace varnel {

SessionChannel::~SessionChannel() {
  // Every started request is finished once, its answer unread. Nobody waits
  // for these: the answers that have arrived are taken, the others given up
  // at once, and no connection is made again for them.
  if (outstanding_.empty()) return;
  Ending(0);
  ChannelAnswer ignored;
  while (TakeAnswer(&ignored)) {
  }
}

void SessionChannel::Ending(int seconds) {
  readSession_ = nullptr;  // a session opened now would take no read
  for (LdapConnection* session : {&session_, reads_}) {
    session->StopReconnecting();
    session->SetAnswerTimeout(seconds);
  }
}

LdapConnection& SessionChannel::ReadsOn() {
  if (readSession_) {
    if (const std::optional<LdapConnection*> opened = readSession_()) {
      if (*opened != nullptr) reads_ = *opened;
      readSession_ = nullptr;
    }
  }
  return *reads_;
}

int SessionChannel::SendRead(uint64_t tag, const LdapSearchRequest& request, bool early) {
  LdapConnection& session = ReadsOn();
  int id = 0;
  const int rc = session.StartSearch(request, &id);
  if (rc != 0) return rc;
  outstanding_.push_back({.tag = tag,
                          .id = id,
                          .session = &session,
                          .early = early,
                          .base = early ? request.base : std::string()});
  if (early) ++unclaimed_;
  return 0;
}

int SessionChannel::StartEarlyRead(uint64_t tag, const LdapSearchRequest& request) {
  return SendRead(tag, request, true);
}

int SessionChannel::StartRead(uint64_t tag, const LdapSearchRequest& request) {
  for (size_t i = 0; unclaimed_ != 0 && i < outstanding_.size(); ++i) {
    Outstanding& early = outstanding_[i];
    if (!early.early || early.claimed || early.tag != tag || early.base != request.base) continue;
    early.claimed = true;
    --unclaimed_;
    return 0;
  }
  return SendRead(tag, request, false);
}

int SessionChannel::StartWrite(uint64_t tag, const std::string& dn,
                               const std::vector<LdapModification>& mods) {
  int id = 0;
  const int rc = session_.StartModify(dn, mods, &id);
  if (rc == 0) outstanding_.push_back({.tag = tag, .id = id, .session = &session_, .write = true});
  return rc;
}

bool SessionChannel::TakeAnswer(ChannelAnswer* answer) {
  for (;;) {
    if (outstanding_.empty()) return false;
    // A server that one session could not reach again is not waited for on
    // the other: its answers are taken as they are.
    if (reads_ != &session_ && ConnectionLoss() != 0) Ending(0);
    const Outstanding request = outstanding_.front();
    outstanding_.pop_front();
    answer->tag = request.tag;
    answer->early = request.early;
    answer->entries.clear();
    LdapConnection& session = *request.session;
    answer->rc = request.write ? session.FinishModify(request.id)
                               : session.FinishSearch(request.id, &answer->entries);
    answer->diagnostic.clear();
    if (answer->rc != 0) answer->diagnostic = session.DiagnosticMessage().value_or("");
    if (request.early && !request.claimed) {
      --unclaimed_;
      continue;
    }
    return true;
  }
}

}  // namespace varnel
