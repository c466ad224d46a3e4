// The request channel of a real run: the asynchronous requests of a
// directory session (a ResilientSession, which makes a lost connection
// again), answers taken oldest first. Reads may go on a session of their
// own once it is open: a server that serves each connection in turn (Samba)
// then reads on one while it writes on the other.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

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

  // A read sent before the loop begins, so that its answer comes back while
  // the start-up still reads. The loop's own StartRead of the same tag and
  // DN takes it over (nothing more is sent) and its answer comes marked
  // early; one never taken over is dropped unseen.
  int StartEarlyRead(uint64_t tag, const LdapSearchRequest& request);

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
    bool early = false;     // by StartEarlyRead
    bool claimed = false;   // early, and since taken over by StartRead
    std::string base = {};  // early: the DN read
  };
  // The session a read goes on now: the reads' own once it is open, else
  // the first.
  LdapConnection& ReadsOn();
  int SendRead(uint64_t tag, const LdapSearchRequest& request, bool early);
  // Early reads not yet taken over.
  size_t unclaimed_ = 0;
  LdapConnection& session_;
  LdapConnection* reads_;
  ReadSession readSession_;
  std::deque<Outstanding> outstanding_;
};

}  // namespace varnel
