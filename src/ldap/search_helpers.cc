#include "ldap/search_helpers.h"

#include "diag/item_lines.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_error.h"

namespace varnel {

Outcome LdapGetStrList(ItemLines& lines, LdapConnection& session, const std::string& base,
                       const std::string& filter, const std::string& attrib,
                       std::vector<std::string>& list, LdapScope scope) {
  lines.Trace("DEBUG: LdapGetStrList:");
  lines.Trace("DEBUG       Base  : " + base);
  lines.Trace("DEBUG       Filter: " + filter);
  lines.Trace("DEBUG       Attrib: " + attrib);
  LdapSearchRequest request;
  request.base = base;
  request.scope = scope;
  request.filter = filter;
  request.attributes = std::vector<std::string>{attrib};
  std::vector<LdapEntry> entries;
  int rc = session.Search(request, &entries);
  if (rc != 0) {
    lines.Err(SearchErrorText(rc));
    return Outcome::Ldap(rc);
  }
  lines.Trace("DEBUG: Count: " + std::to_string(entries.size()));
  for (const LdapEntry& entry : entries) {
    const std::vector<std::string>* values = entry.Find(attrib);
    if (values != nullptr && !values->empty()) list.push_back(values->front());
  }
  return Outcome::Ok();
}

}  // namespace varnel
