#include "ldap/search_helpers.h"

#include "diag/item_lines.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_error.h"

namespace varnel {

LdapSearchRequest StrListRequest(const std::string& base, const std::string& filter,
                                 const std::string& attrib, LdapScope scope) {
  LdapSearchRequest request;
  request.base = base;
  request.scope = scope;
  request.filter = filter;
  request.attributes = std::vector<std::string>{attrib};
  return request;
}

Outcome LdapGetStrList(ItemLines& lines, LdapConnection& session, const std::string& base,
                       const std::string& filter, const std::string& attrib,
                       std::vector<std::string>& list, LdapScope scope) {
  lines.Trace("DEBUG: LdapGetStrList:");
  lines.Trace("DEBUG       Base  : " + base);
  lines.Trace("DEBUG       Filter: " + filter);
  lines.Trace("DEBUG       Attrib: " + attrib);
  std::vector<LdapEntry> entries;
  int rc = session.Search(StrListRequest(base, filter, attrib, scope), &entries);
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
