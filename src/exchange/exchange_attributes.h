// The Exchange attributes that -clear removes, the read of which attributes an
// object holds, and the removal of the listed attributes an object holds in
// one modify request.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

// The 91 attribute names that -clear removes, in the order the removals go
// into the request and with the spelling sent on the wire. Built on the first
// call (the run driver makes that call at start-up) and only read afterwards.
const std::vector<std::string>& ExchangeAttributeList();

// True for the attributes the tool may touch whose values are bytes, not text
// (octet strings, security descriptors, SIDs); letter case ignored.
bool IsBinaryAttribute(const std::string& name);

// Appends to *names the name of every attribute the object holds, in server
// order. On a failed read prints the "LDAP_SEARCH_S:" trace, leaves *names
// untouched and returns the search's LDAP code; otherwise success.
Outcome LdapGetAttrNames(Reporter& reporter, LdapConnection& session, const std::string& dn,
                         std::vector<std::string>* names);

// The attributes the object holds, by lower-case name, for planning removals:
// a removal of an attribute the object lacks would make the server refuse the
// whole request. Traces "\nDEBUG: Retrieving DN attributes..." and the DN
// first; a failed read returns as LdapGetAttrNames does.
Outcome ReadHeldAttributes(Reporter& reporter, LdapConnection& session, const std::string& dn,
                           std::set<std::string>* held);

// Plans the clear of `dn`: a removal of every name of `list` that the object
// holds (letter case ignored; the list's spelling and order go on the wire).
// In a mixed-mode organisation (`markAdcDisabled`) legacyExchangeDN is not
// removed but set to "ADCDisabledMail", in the same request. Returns the
// read's code when the attribute names cannot be read (nothing planned).
Outcome PlanClear(Reporter& reporter, LdapConnection& session, const std::string& dn,
                  const std::vector<std::string>& list, bool markAdcDisabled,
                  std::vector<LdapModification>* mods);

}  // namespace varnel
