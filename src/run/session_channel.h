// The request channel of a real run: the asynchronous requests of a
// directory session (a ResilientSession, which makes a lost connection
// again), answers taken oldest first. Reads may go on a session of their
// own: a server that serves each connection in turn (Samba) then reads on
// one while it writes on the other.
#pragma once

#include <deque>

#include "run/request_channel.h"

namespace varnel {

class SessionChannel : public RequestChannel {
 public:
  // `reads`: the session for reads; null: they share `session`.
  explicit SessionChannel(LdapConnection& session, LdapConnection* reads = nullptr)
      : session_(session), reads_(reads != nullptr ? *reads : session) {}
  ~SessionChannel() override;

  int StartRead(uint64_t tag, const LdapSearchRequest& request) override;
  int StartWrite(uint64_t tag, const std::string& dn,
                 const std::vector<LdapModification>& mods) override;
  bool TakeAnswer(ChannelAnswer* answer) override;
  int ConnectionLoss() const override {
    const int loss = session_.ConnectionLoss();
    return loss != 0 ? loss : reads_.ConnectionLoss();
  }
  void Ending(int seconds) override;

 private:
  struct Outstanding {
    uint64_t tag = 0;
    int id = 0;
    bool write = false;
  };
  LdapConnection& session_;
  LdapConnection& reads_;
  std::deque<Outstanding> outstanding_;
};

}  // namespace varnel
