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

Outcome ReadObject(LdapConnection& session, const std::string& dn, const std::string& filter,
                   const std::vector<std::string>& attributes, LdapEntry* entry) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = filter;
  request.attributes = attributes;
  std::vector<LdapEntry> entries;
  const int rc = session.Search(request, &entries);
  if (rc != kLdapSuccess) return Outcome::HResult(HResultFromLdapCode(rc));
  if (entries.empty()) return Outcome::HResult(HResultFromLdapCode(kLdapNoSuchObject));
  *entry = std::move(entries.front());
  if (entry->dn.empty()) entry->dn = dn;
  return Outcome::Ok();
}

Outcome FindAncestor(LdapConnection& session, const std::string& dn, const std::string& objectClass,
                     LdapEntry* ancestor) {
  for (std::optional<std::string> parent = ParentDn(dn); parent; parent = ParentDn(*parent)) {
    LdapEntry entry;
    Outcome read = ReadObject(session, *parent, "(objectClass=*)",
                              {"objectClass", "legacyExchangeDN"}, &entry);
    if (read.code() == kEDsNoSuchObject) continue;
    if (!read.ok()) return read;
    if (HasClass(entry, objectClass)) {
      *ancestor = std::move(entry);
      return Outcome::Ok();
    }
  }
  return Outcome::HResult(kEAdsBadParameter);
}

Outcome ReadMailDatabaseHome(LdapConnection& session, const std::string& mdbDn,
                             MailDatabaseHome* home) {
  if (mdbDn.empty()) return Outcome::HResult(kEAdsBadParameter);
  LdapEntry mdb;
  Outcome read = ReadObject(session, mdbDn, kMailDatabaseFilter, {"objectClass"}, &mdb);
  if (read.code() == kEDsNoSuchObject) {
    // Tell "no such object" from "not a database": only the first is a read failure.
    LdapEntry any;
    read = ReadObject(session, mdbDn, "(objectClass=*)", {"1.1"}, &any);
    return read.ok() ? Outcome::HResult(kEAdsBadParameter) : read;
  }
  if (!read.ok()) return read;

  LdapEntry server;
  read = FindAncestor(session, mdb.dn, "msExchExchangeServer", &server);
  if (!read.ok()) return read;
  home->mdbDn = mdbDn;
  home->serverDn = server.dn;
  home->serverLegacyDn = FirstValue(server, "legacyExchangeDN");
  if (home->serverLegacyDn.empty()) return Outcome::HResult(kEAdsPropertyNotFound);

  LdapEntry mta;
  read = ReadObject(session, "CN=Microsoft MTA," + server.dn, "(objectClass=*)", {"objectClass"},
                    &mta);
  if (read.ok()) {
    home->mtaDn = mta.dn;
  } else if (read.code() != kEDsNoSuchObject) {
    return read;
  }
  return Outcome::Ok();
}

}  // namespace varnel
