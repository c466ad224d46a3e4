// The "name:value" texts in which the actions write their settings, turned
// into LDAP modifications.
#pragma once

#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

// Turns one "name:value" text into a modification. The text is cut at its
// first ":"; further colons stay in the value, except that one ":" at the very
// end is dropped ("a:b:" gives "b"). A non-empty value replaces the attribute
// with that single value; an empty value (or no ":" at all) removes the
// attribute with all its values. Nothing is trimmed.
LdapModification ParseModificationText(const std::string& text);

}  // namespace varnel
