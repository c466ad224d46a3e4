// The seam between the processing loop and the directory: reads and writes
// of many objects started together, their answers taken as they come, in any
// order. The real channel carries them on the run's one session
// (session_channel.h); tests put one behind it that answers late and out of
// order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

struct ChannelAnswer {
  uint64_t tag = 0;                // as the request was started with
  int rc = 0;                      // the request's result code
  std::vector<LdapEntry> entries;  // a read's entries
  std::string diagnostic;          // the server's text for a failure, when it sent one
  // Sent before the loop began, while the start-up still read: its round
  // trip tells nothing of the link.
  bool early = false;
};

class RequestChannel {
 public:
  virtual ~RequestChannel() = default;

  // Start a request; 0, or the code of one that could not be sent (it then
  // has no answer). `tag` names it in its answer.
  virtual int StartRead(uint64_t tag, const LdapSearchRequest& request) = 0;
  virtual int StartWrite(uint64_t tag, const std::string& dn,
                         const std::vector<LdapModification>& mods) = 0;
  // Waits for the answer to one of the requests outstanding, whichever comes
  // first; false when none is outstanding.
  virtual bool TakeAnswer(ChannelAnswer* answer) = 0;
  // The code of a lost connection that could not be made again; 0 while the
  // channel is usable.
  virtual int ConnectionLoss() const = 0;
  // The run is ending: answers are waited for at most `seconds` each from
  // now on, and a lost connection is not made again.
  virtual void Ending(int seconds) { (void)seconds; }
};

}  // namespace varnel
