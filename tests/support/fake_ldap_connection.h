// An in-memory directory behind the LdapConnection interface, for unit tests
// that need exact requests: it records every call, answers base and subtree
// searches with a small filter matcher (and, or, not, equality with RFC 4515
// escapes, presence), and applies modify requests atomically.
#pragma once

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
  // Optional hook that may answer a search itself (return true when handled).
  std::function<bool(const LdapSearchRequest&, std::vector<LdapEntry>*, int*)> searchHook;

  // Recorded calls.
  std::vector<OptionCall> options;
  std::vector<std::string>
      binds;  // "simple:<dn>", "simple-anonymous", "negotiate", "negotiate:<domain>\\<user>"
  std::vector<LdapSearchRequest> searches;
  std::vector<ModifyCall> modifies;

  // Writes sent through the asynchronous calls and not yet finished: the most
  // at any one time, and whether one object ever had two (DN case ignored).
  void NoteWriteStarted(const std::string& dn);
  void NoteWriteFinished(const std::string& dn);
  size_t maxWritesInFlight = 0;
  bool sameObjectInFlight = false;

  int SetOption(LdapOption option, int value) override;
  int SimpleBind(const std::string* dn, const std::string* password) override;
  int NegotiateBind(const NegotiateIdentity* identity) override;
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override;
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override;
  std::optional<std::string> DiagnosticMessage() override { return diagnostic; }
  std::optional<std::string> MissingTicketCache() override { return missingTicketCache; }

 private:
  std::vector<LdapEntry> entries_;             // in insertion order
  std::multiset<std::string> writesInFlight_;  // lower-case DNs
};

// True when the entry matches the LDAP filter text (parentheses optional
// around the whole filter, as libldap accepts).
bool FakeFilterMatches(const std::string& filter, const LdapEntry& entry);

}  // namespace varnel::testing
