// The request channel of a real run: the asynchronous requests of a
// directory session (a ResilientSession, which makes a lost connection
// again), answers taken oldest first. Reads may go on a session of their
// own once it is open: a server that serves each connection in turn (Samba)
// then reads on one while it writes on the other.
#pragma once

#include <deque>
#include <functional>
#include <optional>

#include "run/request_channel.h"

namespace varnel {

class SessionChannel : public RequestChannel {
 public:
  // Asked before each read until it answers: nullopt while the reads' own
  // session is still being opened; null when there is none, and the reads
  // stay on the first session.
  using ReadSession = std::function<std::optional<LdapConnection*>()>;

  explicit SessionChannel(LdapConnection& session, ReadSession readSession = {})
      : session_(session), reads_(&session), readSession_(std::move(readSession)) {}
  ~SessionChannel() override;

  int StartRead(uint64_t tag, const LdapSearchRequest& request) override;
  int StartWrite(uint64_t tag, const std::string& dn,
                 const std::vector<LdapModification>& mods) override;
  bool TakeAnswer(ChannelAnswer* answer) override;
  int ConnectionLoss() const override {
    const int loss = session_.ConnectionLoss();
    return loss != 0 ? loss : reads_->ConnectionLoss();
  }
  void Ending(int seconds) override;

 private:
  struct Outstanding {
    uint64_t tag = 0;
    int id = 0;
    LdapConnection* session = nullptr;
    bool write = false;
  };
  LdapConnection& session_;
  LdapConnection* reads_;
  ReadSession readSession_;
  std::deque<Outstanding> outstanding_;
};

}  // namespace varnel
