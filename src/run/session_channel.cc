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

int SessionChannel::StartRead(uint64_t tag, const LdapSearchRequest& request) {
  int id = 0;
  const int rc = session_.StartSearch(request, &id);
  if (rc == 0) outstanding_.push_back({tag, id, false});
  return rc;
}

int SessionChannel::StartWrite(uint64_t tag, const std::string& dn,
                               const std::vector<LdapModification>& mods) {
  int id = 0;
  const int rc = session_.StartModify(dn, mods, &id);
  if (rc == 0) outstanding_.push_back({tag, id, true});
  return rc;
}

bool SessionChannel::TakeAnswer(ChannelAnswer* answer) {
  if (outstanding_.empty()) return false;
  const Outstanding request = outstanding_.front();
  outstanding_.pop_front();
  answer->tag = request.tag;
  answer->entries.clear();
  answer->rc = request.write ? session_.FinishModify(request.id)
                             : session_.FinishSearch(request.id, &answer->entries);
  answer->diagnostic.clear();
  if (answer->rc != 0) answer->diagnostic = session_.DiagnosticMessage().value_or("");
  return true;
}

}  // namespace varnel
