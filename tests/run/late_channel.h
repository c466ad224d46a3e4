// A request channel over the in-memory directory that answers late and out
// of order: a request is carried out only when its answer is taken, and the
// answer taken is always that of the request sent last. It counts what the
// loop sent, and can lose an answer as a dropped connection would.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run/request_channel.h"
#include "support/fake_ldap_connection.h"
#include "text/string_helpers.h"

namespace varnel::testing {

class LateChannel : public RequestChannel {
 public:
  struct Request {
    uint64_t tag = 0;
    bool write = false;
    LdapSearchRequest read;
    std::string dn;
    std::vector<LdapModification> mods;
  };

  explicit LateChannel(FakeLdapConnection& directory) : directory_(directory) {}

  int StartRead(uint64_t tag, const LdapSearchRequest& request) override {
    ++readsOf[LowerCase(request.base)];
    return Start({tag, false, request, request.base, {}});
  }
  int StartWrite(uint64_t tag, const std::string& dn,
                 const std::vector<LdapModification>& mods) override {
    if (onWrite) onWrite(dn);
    for (const Request& other : pending_)
      sameObjectWrites = sameObjectWrites || (other.write && LowerCase(other.dn) == LowerCase(dn));
    const int rc = Start({tag, true, {}, dn, mods});
    maxWrites = std::max<size_t>(
        maxWrites,
        std::count_if(pending_.begin(), pending_.end(), [](const Request& r) { return r.write; }));
    return rc;
  }
  bool TakeAnswer(ChannelAnswer* answer) override {
    if (pending_.empty()) return false;
    const Request request = pending_.back();
    pending_.pop_back();
    answer->tag = request.tag;
    answer->entries.clear();
    if (request.write) {
      ++writesOf[LowerCase(request.dn)];
      answer->rc = directory_.Modify(request.dn, request.mods);
    } else {
      answer->rc = directory_.Search(request.read, &answer->entries);
    }
    // A lost answer: the request may have been carried out all the same.
    if (loseAnswer && loseAnswer(request)) {
      answer->rc = 0x51;
      answer->entries.clear();
    }
    return true;
  }
  int ConnectionLoss() const override { return 0; }

  // Called with each write's DN as it is sent.
  std::function<void(const std::string&)> onWrite;
  // True for a request whose answer is lost (after it was carried out).
  std::function<bool(const Request&)> loseAnswer;

  std::map<std::string, int> readsOf;   // by lower-case base DN
  std::map<std::string, int> writesOf;  // by lower-case DN
  size_t maxOutstanding = 0;
  size_t maxWrites = 0;
  bool sameObjectWrites = false;  // two writes of one object outstanding together

 private:
  int Start(Request request) {
    pending_.push_back(std::move(request));
    maxOutstanding = std::max(maxOutstanding, pending_.size());
    return 0;
  }

  FakeLdapConnection& directory_;
  std::vector<Request> pending_;
};

}  // namespace varnel::testing
