// The general directory read: one value of one attribute from every entry of
// a subtree search.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class ItemLines;

// The request LdapGetStrList sends.
LdapSearchRequest StrListRequest(const std::string& base, const std::string& filter,
                                 const std::string& attrib, LdapScope scope = LdapScope::kSubtree);

// Subtree search below base (or another scope); appends the first value of
// attrib of each entry, in server order. Returns success, or the search's
// LDAP code (list untouched, its trace added to standard error). With debug,
// the search and its count are traced.
Outcome LdapGetStrList(ItemLines& lines, LdapConnection& session, const std::string& base,
                       const std::string& filter, const std::string& attrib,
                       std::vector<std::string>& list, LdapScope scope = LdapScope::kSubtree);

}  // namespace varnel
