#include "ldap/search_helpers.h"

#include <iostream>

#include "diag/console.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_error.h"

namespace varnel {

int LdapGetStrList(LdapConnection& session, const std::string& base, const std::string& filter,
                   const std::string& attrib, std::vector<std::string>& list, LdapScope scope) {
  if (Debug()) {
    std::cout << "DEBUG: LdapGetStrList:" << EndLine;
    std::cout << "DEBUG       Base  : " << base << EndLine;
    std::cout << "DEBUG       Filter: " << filter << EndLine;
    std::cout << "DEBUG       Attrib: " << attrib << EndLine;
  }
  LdapSearchRequest request;
  request.base = base;
  request.scope = scope;
  request.filter = filter;
  request.attributes = std::vector<std::string>{attrib};
  std::vector<LdapEntry> entries;
  int rc = session.Search(request, &entries);
  if (rc != 0) {
    PrintSearchError(rc);
    return rc;
  }
  if (Debug()) std::cout << "DEBUG: Count: " << entries.size() << EndLine;
  for (const LdapEntry& entry : entries) {
    const std::vector<std::string>* values = entry.Find(attrib);
    if (values != nullptr && !values->empty()) list.push_back(values->front());
  }
  return 0;
}

std::string LdapGetDN(LdapConnection& session, const std::string& dn) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = "(objectclass=*)";
  request.attributes = std::vector<std::string>{"1.1"};
  request.attributesOnly = true;
  std::vector<LdapEntry> entries;
  if (session.Search(request, &entries) != 0) return dn;
  if (entries.empty() || entries.front().dn.empty()) return dn;
  return entries.front().dn;
}

}  // namespace varnel
