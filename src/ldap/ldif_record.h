// LDIF (RFC 2849) change records for modify requests, written with libldap's
// own LDIF writer: values that are not safe as text, and every value of an
// attribute the caller names binary, are base64.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

// "dn:", "changetype: modify", then per modification "replace:"/"delete:",
// its values and "-"; ends with the blank line that closes the record.
std::string LdifModifyRecord(const std::string& dn, const std::vector<LdapModification>& mods,
                             const std::function<bool(const std::string&)>& isBinary);

// The "dn:" line of a DN (folded, base64 when the DN is not safe as text),
// with its line feed: the start of a record that names the DN.
std::string LdifDnLine(const std::string& dn);

}  // namespace varnel
