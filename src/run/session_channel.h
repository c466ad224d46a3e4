// The request channel of a real run: the asynchronous requests of one
// directory session (a ResilientSession, which makes a lost connection
// again), answers taken oldest first.
#pragma once

#include <deque>

#include "run/request_channel.h"

namespace varnel {

class SessionChannel : public RequestChannel {
 public:
  explicit SessionChannel(LdapConnection& session) : session_(session) {}
  ~SessionChannel() override;

  int StartRead(uint64_t tag, const LdapSearchRequest& request) override;
  int StartWrite(uint64_t tag, const std::string& dn,
                 const std::vector<LdapModification>& mods) override;
  bool TakeAnswer(ChannelAnswer* answer) override;
  int ConnectionLoss() const override { return session_.ConnectionLoss(); }
  void Ending(int seconds) override {
    session_.StopReconnecting();
    session_.SetAnswerTimeout(seconds);
  }

 private:
  struct Outstanding {
    uint64_t tag = 0;
    int id = 0;
    bool write = false;
  };
  LdapConnection& session_;
  std::deque<Outstanding> outstanding_;
};

}  // namespace varnel
