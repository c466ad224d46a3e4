#include "directory/home_mdb.h"

#include <vector>

#include "diag/reporter.h"
#include "exchange/mail_database.h"
#include "ldap/filter_escape.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// First distinguishedName of the objects of `category` named `name` below
// `base`, or "" when there is none (or the search failed).
std::string FindNamed(Reporter& reporter, LdapConnection& session, const std::string& base,
                      const std::string& category, const std::string& name) {
  const std::string filter =
      "(&(objectcategory=" + category + ")(name=" + EscapeFilterValue(name) + "))";
  std::vector<std::string> found;
  LdapGetStrList(reporter, session, base, filter, "distinguishedName", found);
  return found.empty() ? std::string() : found.front();
}

std::string ResolveShortForm(Reporter& reporter, LdapConnection& session, const std::string& baseDn,
                             const std::string& mdbSpec, const std::string& server,
                             const std::string& storageGroup, const std::string& database) {
  if (!reporter.quiet()) reporter.out() << "\nResolving homeMDB [" << mdbSpec << "]..." << EndLine;

  if (!reporter.quiet()) reporter.out() << "Looking for Server..." << EndLine;
  const std::string serverDn = FindNamed(reporter, session, baseDn, "msExchExchangeServer", server);
  if (serverDn.empty()) {
    reporter.out() << "ERROR: AD Search couldn't find Exchange Server: " << server << EndLine;
    return "";
  }

  if (!reporter.quiet()) reporter.out() << "Looking for Storage Group..." << EndLine;
  const std::string groupDn =
      FindNamed(reporter, session, serverDn, "msExchStorageGroup", storageGroup);
  if (groupDn.empty()) {
    reporter.out() << "ERROR: AD Search couldn't find Storage Group: " << storageGroup << EndLine;
    return "";
  }

  if (!reporter.quiet()) reporter.out() << "Looking for Mail Database..." << EndLine;
  const std::string databaseDn =
      FindNamed(reporter, session, groupDn, "msExchPrivateMDB", database);
  if (databaseDn.empty()) {
    reporter.out() << "ERROR: AD Search couldn't find DataBase: " << database << EndLine;
    return "";
  }
  return databaseDn;
}

std::string ResolveFullForm(Reporter& reporter, LdapConnection& session, const std::string& dn) {
  if (!reporter.quiet()) reporter.out() << "Looking for specified homeMDB..." << EndLine;
  std::vector<std::string> found;
  // The DN must name a private mail database itself: a storage group or a
  // server above one is no database. An empty DN names no object at all.
  if (!dn.empty()) {
    LdapGetStrList(reporter, session, dn, kMailDatabaseFilter, "distinguishedName", found,
                   LdapScope::kBase);
  }
  if (found.empty()) {
    reporter.out() << "ERROR: Invalid HomeMDB [" << dn << "]" << EndLine;
    return "";
  }
  return dn;
}

}  // namespace

std::string ResolveHomeMDB(Reporter& reporter, LdapConnection& session, const std::string& baseDn,
                           const std::string& mdbSpec, const std::string& delimiter) {
  std::vector<std::string> fields;
  SplitMax(mdbSpec, delimiter, &fields, 3);
  if (!fields[0].empty() && !fields[2].empty()) {
    return ResolveShortForm(reporter, session, baseDn, mdbSpec, fields[0], fields[1], fields[2]);
  }
  return ResolveFullForm(reporter, session, fields[0]);
}

}  // namespace varnel
