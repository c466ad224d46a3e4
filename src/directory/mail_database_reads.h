// The directory reads behind a mail database's home: the database itself,
// the Exchange server above it and that server's MTA, and the nearest
// object of a class above a DN. Silent: each ends in an outcome of
// the directory object domain, which callers report.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "exchange/hresult.h"
#include "exchange/mail_database.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// Reads the home of the private mail database `mdbDn`. Returns
// kEAdsBadParameter when the DN is empty or names no private mail database or
// no server lies above it, kEAdsPropertyNotFound when the server has no
// legacyExchangeDN, or the mapped code of a failed read.
Outcome ReadMailDatabaseHome(LdapConnection& session, const std::string& mdbDn,
                             MailDatabaseHome* home);

// The nearest object above `dn` of `objectClass` (read with its objectClass
// and legacyExchangeDN), skipping levels that cannot be read as missing.
Outcome FindAncestor(LdapConnection& session, const std::string& dn, const std::string& objectClass,
                     LdapEntry* ancestor);

// One object read at its DN: the given attributes, kEDsNoSuchObject (mapped)
// when there is none.
Outcome ReadObject(LdapConnection& session, const std::string& dn, const std::string& filter,
                   const std::vector<std::string>& attributes, LdapEntry* entry);

}  // namespace varnel
