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

}  // namespace varnel
