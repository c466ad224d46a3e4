#include "ldap/search_helpers.h"

#include "diag/reporter.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_error.h"

namespace varnel {

Outcome LdapGetStrList(Reporter& reporter, LdapConnection& session, const std::string& base,
                       const std::string& filter, const std::string& attrib,
                       std::vector<std::string>& list, LdapScope scope) {
  if (reporter.debug()) {
    reporter.out() << "DEBUG: LdapGetStrList:" << EndLine;
    reporter.out() << "DEBUG       Base  : " << base << EndLine;
    reporter.out() << "DEBUG       Filter: " << filter << EndLine;
    reporter.out() << "DEBUG       Attrib: " << attrib << EndLine;
  }
  LdapSearchRequest request;
  request.base = base;
  request.scope = scope;
  request.filter = filter;
  request.attributes = std::vector<std::string>{attrib};
  std::vector<LdapEntry> entries;
  int rc = session.Search(request, &entries);
  if (rc != 0) {
    PrintSearchError(reporter, rc);
    return Outcome::Ldap(rc);
  }
  if (reporter.debug()) reporter.out() << "DEBUG: Count: " << entries.size() << EndLine;
  for (const LdapEntry& entry : entries) {
    const std::vector<std::string>* values = entry.Find(attrib);
    if (values != nullptr && !values->empty()) list.push_back(values->front());
  }
  return Outcome::Ok();
}

std::string LdapGetDN(LdapConnection& session, const std::string& dn) {
  return LdapStoredDN(session, dn).value_or(dn);
}

LdapSearchRequest StoredDnRequest(const std::string& dn) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = "(objectclass=*)";
  request.attributes = std::vector<std::string>{"1.1"};
  request.attributesOnly = true;
  return request;
}

std::optional<std::string> LdapStoredDN(LdapConnection& session, const std::string& dn) {
  std::vector<LdapEntry> entries;
  if (session.Search(StoredDnRequest(dn), &entries) != 0) return std::nullopt;
  if (entries.empty() || entries.front().dn.empty()) return std::nullopt;
  return entries.front().dn;
}

}  // namespace varnel
