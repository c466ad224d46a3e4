// The two general directory reads: one value of one attribute from every
// entry of a subtree search, and a DN in the directory's own letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class ItemLines;

// Subtree search below base (or another scope); appends the first value of
// attrib of each entry, in server order. Returns success, or the search's
// LDAP code (list untouched, its trace added to standard error). With debug,
// the search and its count are traced.
Outcome LdapGetStrList(ItemLines& lines, LdapConnection& session, const std::string& base,
                       const std::string& filter, const std::string& attrib,
                       std::vector<std::string>& list, LdapScope scope = LdapScope::kSubtree);

// The DN as the directory stores it, or dn unchanged when the read fails.
std::string LdapGetDN(LdapConnection& session, const std::string& dn);

// The base search that finds a DN as the directory stores it.
LdapSearchRequest StoredDnRequest(const std::string& dn);

// The DN as the directory stores it; nullopt when the read fails.
std::optional<std::string> LdapStoredDN(LdapConnection& session, const std::string& dn);

}  // namespace varnel
