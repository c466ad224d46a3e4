// What makes a directory object a mail database that can hold mailboxes, and
// where such a database lives: the Exchange server above it and that
// server's message transfer agent. The one set of rules by which both the
// command line's database and the directory object service resolve one.
#pragma once

#include <optional>
#include <string>

#include "exchange/hresult.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// A private mail database is an object of this class itself; a storage group
// or a server above one is none.
inline constexpr const char* kMailDatabaseFilter = "(objectClass=msExchPrivateMDB)";

struct MailDatabaseHome {
  std::string mdbDn;
  std::string serverDn;
  std::string serverLegacyDn;
  std::optional<std::string> mtaDn;  // none when the server has no MTA object
};

// Reads the home of the private mail database `mdbDn`. Returns
// kEAdsBadParameter when the DN is empty or names no private mail database or
// no server lies above it, kEAdsPropertyNotFound when the server has no
// legacyExchangeDN, or the mapped code of a failed read.
HResult ReadMailDatabaseHome(LdapConnection& session, const std::string& mdbDn,
                             MailDatabaseHome* home);

// The nearest object above `dn` of `objectClass` (read with its objectClass
// and legacyExchangeDN), skipping levels that cannot be read as missing.
HResult FindAncestor(LdapConnection& session, const std::string& dn, const std::string& objectClass,
                     LdapEntry* ancestor);

// One object read at its DN: the given attributes, kEDsNoSuchObject (mapped)
// when there is none.
HResult ReadObject(LdapConnection& session, const std::string& dn, const std::string& filter,
                   const std::vector<std::string>& attributes, LdapEntry* entry);

}  // namespace varnel
