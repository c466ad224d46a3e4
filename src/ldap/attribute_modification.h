// Writing attribute values to one directory object: a single replacement, or
// a whole modification list ("name:value" texts) sent in one modify request.
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

// Replaces one attribute with one value. Returns the modify's result code and
// never prints an error line; debug mode traces the request and its code.
int LdapSetAttr(LdapConnection& session, const std::string& dn, const std::string& attribute,
                const std::string& value);

// Applies every text of `list`, in order and each as its own modification, in
// one modify request, so the server applies all of them or none. An empty list
// sends nothing and returns 0. A refused request prints the LDAP error line
// (empty label and server) unless quiet, and returns the server's code.
int LdapSetAttrList(LdapConnection& session, const std::string& dn,
                    const std::vector<std::string>& list);

}  // namespace varnel
