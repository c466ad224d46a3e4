#include "exchange/home_mdb.h"

#include <iostream>
#include <vector>

#include "diag/console.h"
#include "exchange/mail_database.h"
#include "ldap/filter_escape.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// First distinguishedName of the objects of `category` named `name` below
// `base`, or "" when there is none (or the search failed).
std::string FindNamed(LdapConnection& session, const std::string& base, const std::string& category,
                      const std::string& name) {
  const std::string filter =
      "(&(objectcategory=" + category + ")(name=" + EscapeFilterValue(name) + "))";
  std::vector<std::string> found;
  LdapGetStrList(session, base, filter, "distinguishedName", found);
  return found.empty() ? std::string() : found.front();
}

std::string ResolveShortForm(LdapConnection& session, const std::string& baseDn,
                             const std::string& mdbSpec, const std::string& server,
                             const std::string& storageGroup, const std::string& database) {
  if (!Quiet()) std::cout << "\nResolving homeMDB [" << mdbSpec << "]..." << EndLine;

  if (!Quiet()) std::cout << "Looking for Server..." << EndLine;
  const std::string serverDn = FindNamed(session, baseDn, "msExchExchangeServer", server);
  if (serverDn.empty()) {
    std::cout << "ERROR: AD Search couldn't find Exchange Server: " << server << EndLine;
    return "";
  }

  if (!Quiet()) std::cout << "Looking for Storage Group..." << EndLine;
  const std::string groupDn = FindNamed(session, serverDn, "msExchStorageGroup", storageGroup);
  if (groupDn.empty()) {
    std::cout << "ERROR: AD Search couldn't find Storage Group: " << storageGroup << EndLine;
    return "";
  }

  if (!Quiet()) std::cout << "Looking for Mail Database..." << EndLine;
  const std::string databaseDn = FindNamed(session, groupDn, "msExchPrivateMDB", database);
  if (databaseDn.empty()) {
    std::cout << "ERROR: AD Search couldn't find DataBase: " << database << EndLine;
    return "";
  }
  return databaseDn;
}

std::string ResolveFullForm(LdapConnection& session, const std::string& dn) {
  if (!Quiet()) std::cout << "Looking for specified homeMDB..." << EndLine;
  std::vector<std::string> found;
  // The DN must name a private mail database itself: a storage group or a
  // server above one is no database. An empty DN names no object at all.
  if (!dn.empty()) {
    LdapGetStrList(session, dn, kMailDatabaseFilter, "distinguishedName", found, LdapScope::kBase);
  }
  if (found.empty()) {
    std::cout << "ERROR: Invalid HomeMDB [" << dn << "]" << EndLine;
    return "";
  }
  return dn;
}

}  // namespace

std::string ResolveHomeMDB(LdapConnection& session, const std::string& baseDn,
                           const std::string& mdbSpec, const std::string& delimiter) {
  std::vector<std::string> fields;
  SplitMax(mdbSpec, delimiter, &fields, 3);
  if (!fields[0].empty() && !fields[2].empty()) {
    return ResolveShortForm(session, baseDn, mdbSpec, fields[0], fields[1], fields[2]);
  }
  return ResolveFullForm(session, fields[0]);
}

}  // namespace varnel
