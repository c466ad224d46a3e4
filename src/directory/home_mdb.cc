#include "directory/home_mdb.h"

#include <vector>

#include "diag/item_lines.h"
#include "exchange/mail_database.h"
#include "ldap/filter_escape.h"
#include "ldap/result_codes.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

constexpr const char* kServerCategory = "msExchExchangeServer";
constexpr const char* kGroupCategory = "msExchStorageGroup";
constexpr const char* kDatabaseCategory = "msExchPrivateMDB";

std::string NamedFilter(const std::string& category, const std::string& name) {
  return "(&(objectcategory=" + category + ")(name=" + EscapeFilterValue(name) + "))";
}

// First distinguishedName of the objects of `category` named `name` below
// `base`, or "" when there is none (or the search failed).
std::string FindNamed(ItemLines& lines, LdapConnection& session, const std::string& base,
                      const std::string& category, const std::string& name) {
  std::vector<std::string> found;
  LdapGetStrList(lines, session, base, NamedFilter(category, name), "distinguishedName", found);
  return found.empty() ? std::string() : found.front();
}

// Adds the "ERROR:" line of a database that does not resolve; its outcome.
Outcome NotResolved(ItemLines& lines, const std::string& line) {
  lines.Out(line);
  return Outcome::Ldap(kLdapNoSuchObject, line);
}

Outcome ResolveShortForm(ItemLines& lines, LdapConnection& session, const std::string& baseDn,
                         const std::string& mdbSpec, const std::string& server,
                         const std::string& storageGroup, const std::string& database,
                         std::string* dn) {
  lines.Info("\nResolving homeMDB [" + mdbSpec + "]...");

  lines.Info("Looking for Server...");
  const std::string serverDn = FindNamed(lines, session, baseDn, kServerCategory, server);
  if (serverDn.empty())
    return NotResolved(lines, "ERROR: AD Search couldn't find Exchange Server: " + server);

  lines.Info("Looking for Storage Group...");
  const std::string groupDn = FindNamed(lines, session, serverDn, kGroupCategory, storageGroup);
  if (groupDn.empty())
    return NotResolved(lines, "ERROR: AD Search couldn't find Storage Group: " + storageGroup);

  lines.Info("Looking for Mail Database...");
  const std::string databaseDn = FindNamed(lines, session, groupDn, kDatabaseCategory, database);
  if (databaseDn.empty())
    return NotResolved(lines, "ERROR: AD Search couldn't find DataBase: " + database);
  *dn = databaseDn;
  return Outcome::Ok();
}

Outcome ResolveFullForm(ItemLines& lines, LdapConnection& session, const std::string& given,
                        std::string* dn) {
  lines.Info("Looking for specified homeMDB...");
  std::vector<std::string> found;
  // The DN must name a private mail database itself: a storage group or a
  // server above one is no database. An empty DN names no object at all.
  if (!given.empty()) {
    LdapGetStrList(lines, session, given, kMailDatabaseFilter, "distinguishedName", found,
                   LdapScope::kBase);
  }
  if (found.empty()) return NotResolved(lines, "ERROR: Invalid HomeMDB [" + given + "]");
  *dn = given;
  return Outcome::Ok();
}

bool ShortForm(const std::vector<std::string>& fields) {
  return !fields[0].empty() && !fields[2].empty();
}

}  // namespace

Outcome ResolveHomeMDB(ItemLines& lines, LdapConnection& session, const std::string& baseDn,
                       const std::string& mdbSpec, const std::string& delimiter, std::string* dn) {
  dn->clear();
  std::vector<std::string> fields;
  SplitMax(mdbSpec, delimiter, &fields, 3);
  if (ShortForm(fields)) {
    return ResolveShortForm(lines, session, baseDn, mdbSpec, fields[0], fields[1], fields[2], dn);
  }
  return ResolveFullForm(lines, session, fields[0], dn);
}

std::vector<LdapSearchRequest> HomeMdbSearches(const std::string& baseDn,
                                               const std::string& mdbSpec,
                                               const std::string& delimiter) {
  std::vector<std::string> fields;
  SplitMax(mdbSpec, delimiter, &fields, 3);
  if (!ShortForm(fields)) {
    if (fields[0].empty()) return {};
    return {StrListRequest(fields[0], kMailDatabaseFilter, "distinguishedName", LdapScope::kBase)};
  }
  std::vector<LdapSearchRequest> searches;
  const std::pair<const char*, const std::string&> named[] = {
      {kServerCategory, fields[0]}, {kGroupCategory, fields[1]}, {kDatabaseCategory, fields[2]}};
  for (const auto& [category, name] : named)
    searches.push_back(StrListRequest(baseDn, NamedFilter(category, name), "distinguishedName"));
  return searches;
}

}  // namespace varnel
