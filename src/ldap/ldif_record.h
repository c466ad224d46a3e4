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

// A change of one attribute by value: the values to delete, then those to
// add. The server refuses the whole modify when a value to delete is not
// there (noSuchAttribute) or one to add is (attributeOrValueExists).
struct LdifValueChange {
  std::string type;
  std::vector<std::string> deleted;
  std::vector<std::string> added;
};

// "dn:", "changetype: modify", then per change a "delete:" group with the
// values to delete and an "add:" group with those to add (a group with no
// values is left out); ends with the blank line that closes the record.
std::string LdifValueChangeRecord(const std::string& dn,
                                  const std::vector<LdifValueChange>& changes,
                                  const std::function<bool(const std::string&)>& isBinary);

// The "dn:" line of a DN (folded, base64 when the DN is not safe as text),
// with its line feed: the start of a record that names the DN.
std::string LdifDnLine(const std::string& dn);

}  // namespace varnel
