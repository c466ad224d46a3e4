// An in-memory directory behind the LdapConnection interface, for unit tests
// that need exact requests: it records every call, answers base and subtree
// searches with a small filter matcher (and, or, not, equality with RFC 4515
// escapes, presence), and applies modify requests atomically.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel::testing {

class FakeLdapConnection : public LdapConnection {
 public:
  struct OptionCall {
    LdapOption option;
    int value;
  };
  struct ModifyCall {
    std::string dn;
    std::vector<LdapModification> mods;
  };

  // Directory content. Attribute names keep the case given here.
  void AddEntry(const std::string& dn,
                const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes);
  const LdapEntry* FindEntry(const std::string& dn) const;
  // First value of an attribute of an entry, or "" when absent.
  std::string Value(const std::string& dn, const std::string& attribute) const;
  bool Has(const std::string& dn, const std::string& attribute) const;

  // Failure injection: when set, the next matching calls return these codes.
  int optionResult = 0;
  int bindResult = 0;
  int searchResult = 0;  // applies to every search while non-zero
  int modifyResult = 0;  // applies to every modify while non-zero (nothing changes)
  std::optional<std::string> diagnostic;
  std::optional<std::string> missingTicketCache;  // what MissingTicketCache reports
  bool tlsSetupFailed = false;                    // what TlsSetupFailed reports
  // Security: what the library's settings say before the bind, and what a
  // negotiate bind settles on. A bind gets the largest SASL layer the server
  // offers within the range set before it; when the range's minimum is more
  // than the server offers, the bind fails as the SASL library would.
  SessionSecurity security{false, {0, 0x7fffffff}, std::nullopt};
  unsigned serverMaxSsf = 256;           // what the server and the Kerberos keys can give
  bool tlsInPlace = false;               // what Bound() reports for TLS after a bind
  BoundSecurity bound{};                 // filled by each successful negotiate bind
  std::vector<SaslSsfRange> saslRanges;  // every SetSaslSsf call
  int saslRangeResult = 0;               // what SetSaslSsf returns
  // What a session's search sent with the bind is answered with: nullopt,
  // nothing came with the bind's answer.
  std::optional<std::vector<LdapEntry>> answerWithBind;
  // What a bind with a search sent with it returns, when not 0.
  int bindWithSearchResult = 0;
  // Optional hook that may answer a search itself (return true when handled).
  std::function<bool(const LdapSearchRequest&, std::vector<LdapEntry>*, int*)> searchHook;

  // Optional hook called before each modify: a non-zero code answers the
  // request with it, which then never reaches the directory.
  std::function<int(const std::string&)> modifyHook;

  // Recorded calls.
  std::vector<OptionCall> options;
  size_t binds = 0;  // negotiate binds
  std::vector<LdapSearchRequest> searches;
  std::vector<ModifyCall> modifies;

  // Writes sent through the asynchronous calls and not yet finished: the most
  // at any one time, and whether one object ever had two (DN case ignored).
  void NoteWriteStarted(const std::string& dn);
  void NoteWriteFinished(const std::string& dn);
  size_t maxWritesInFlight = 0;
  bool sameObjectInFlight = false;
  // Asynchronous requests of any kind not yet finished, and the most at once.
  void NoteRequestStarted() { maxRequestsInFlight = std::max(maxRequestsInFlight, ++requests_); }
  void NoteRequestFinished() { --requests_; }
  size_t maxRequestsInFlight = 0;

  int SetOption(LdapOption option, int value) override;
  int NegotiateBind() override;
  SessionSecurity Security() override { return security; }
  int SetSaslSsf(const SaslSsfRange& range) override;
  BoundSecurity Bound() override { return bound; }
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override;
  std::optional<std::string> DiagnosticMessage() override { return diagnostic; }
  std::optional<std::string> MissingTicketCache() override { return missingTicketCache; }
  bool TlsSetupFailed() override { return tlsSetupFailed; }

 private:
  std::vector<LdapEntry> entries_;             // in insertion order
  std::multiset<std::string> writesInFlight_;  // lower-case DNs
  size_t requests_ = 0;
};

// True when the entry matches the LDAP filter text (parentheses optional
// around the whole filter, as libldap accepts).
bool FakeFilterMatches(const std::string& filter, const LdapEntry& entry);

}  // namespace varnel::testing
