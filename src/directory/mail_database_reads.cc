#include "directory/mail_database_reads.h"

#include <algorithm>

#include "exchange/distinguished_name.h"
#include "exchange/ldap_hresult.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

bool HasClass(const LdapEntry& entry, std::string_view objectClass) {
  const std::vector<std::string>* values = entry.Find("objectClass");
  if (values == nullptr) return false;
  return std::any_of(values->begin(), values->end(),
                     [&](const std::string& v) { return LowerCase(v) == LowerCase(objectClass); });
}

std::string FirstValue(const LdapEntry& entry, const std::string& name) {
  const std::vector<std::string>* values = entry.Find(name);
  return values == nullptr || values->empty() ? "" : values->front();
}

}  // namespace

HResult ReadObject(LdapConnection& session, const std::string& dn, const std::string& filter,
                   const std::vector<std::string>& attributes, LdapEntry* entry) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = filter;
  request.attributes = attributes;
  std::vector<LdapEntry> entries;
  const int rc = session.Search(request, &entries);
  if (rc != kLdapSuccess) return HResultFromLdapCode(rc);
  if (entries.empty()) return HResultFromLdapCode(kLdapNoSuchObject);
  *entry = std::move(entries.front());
  if (entry->dn.empty()) entry->dn = dn;
  return kSOk;
}

HResult FindAncestor(LdapConnection& session, const std::string& dn, const std::string& objectClass,
                     LdapEntry* ancestor) {
  for (std::optional<std::string> parent = ParentDn(dn); parent; parent = ParentDn(*parent)) {
    LdapEntry entry;
    const HResult hr = ReadObject(session, *parent, "(objectClass=*)",
                                  {"objectClass", "legacyExchangeDN"}, &entry);
    if (hr == kEDsNoSuchObject) continue;
    if (hr != kSOk) return hr;
    if (HasClass(entry, objectClass)) {
      *ancestor = std::move(entry);
      return kSOk;
    }
  }
  return kEAdsBadParameter;
}

HResult ReadMailDatabaseHome(LdapConnection& session, const std::string& mdbDn,
                             MailDatabaseHome* home) {
  if (mdbDn.empty()) return kEAdsBadParameter;
  LdapEntry mdb;
  HResult hr = ReadObject(session, mdbDn, kMailDatabaseFilter, {"objectClass"}, &mdb);
  if (hr == kEDsNoSuchObject) {
    // Tell "no such object" from "not a database": only the first is a read failure.
    LdapEntry any;
    hr = ReadObject(session, mdbDn, "(objectClass=*)", {"1.1"}, &any);
    return hr == kSOk ? kEAdsBadParameter : hr;
  }
  if (hr != kSOk) return hr;

  LdapEntry server;
  hr = FindAncestor(session, mdb.dn, "msExchExchangeServer", &server);
  if (hr != kSOk) return hr;
  home->mdbDn = mdbDn;
  home->serverDn = server.dn;
  home->serverLegacyDn = FirstValue(server, "legacyExchangeDN");
  if (home->serverLegacyDn.empty()) return kEAdsPropertyNotFound;

  LdapEntry mta;
  hr = ReadObject(session, "CN=Microsoft MTA," + server.dn, "(objectClass=*)", {"objectClass"},
                  &mta);
  if (hr == kSOk) {
    home->mtaDn = mta.dn;
  } else if (hr != kEDsNoSuchObject) {
    return hr;
  }
  return kSOk;
}

}  // namespace varnel
