#include "directory/run_facts.h"

#include "directory/home_mdb.h"
#include "directory/mail_database_reads.h"
#include "exchange/distinguished_name.h"
#include "exchange/ldap_hresult.h"
#include "exchange/recipient_rules.h"
#include "ldap/filter_escape.h"
#include "ldap/resilient_session.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// A code that says nothing about the directory, only that the answer was lost.
bool IsLostAnswer(const Outcome& read) {
  for (int ldapCode : {0x51, 0x52, 0x55, 0x5b}) {
    if (read.code() == HResultFromLdapCode(ldapCode)) return true;
  }
  return false;
}

}  // namespace

LdapSearchRequest OrganisationSearch(const std::string& exchangeServicesDn) {
  return StrListRequest(exchangeServicesDn, "(objectClass=msExchAdminGroup)", "legacyExchangeDN");
}

RunFacts::RunFacts(LdapConnection& session, const StartupFacts& startup, std::string mdbDelimiter,
                   bool withAdminGroups)
    : session_(session),
      exchangeServicesDn_(startup.exchangeServicesDn),
      homeMdbDn_(startup.homeMdbDn),
      mdbDelimiter_(std::move(mdbDelimiter)),
      withAdminGroups_(withAdminGroups) {}

Outcome RunFacts::ResolveDatabase(ItemLines& lines, const std::string& text, std::string* dn) {
  const std::string key = LowerCase(text);
  if (auto found = resolved_.find(key); found != resolved_.end()) {
    *dn = found->second;
    return Outcome::Ok();
  }
  Outcome resolved = ResolveHomeMDB(lines, session_, exchangeServicesDn_, text, mdbDelimiter_, dn);
  if (resolved.ok()) resolved_.emplace(key, *dn);
  return resolved;
}

const DatabaseFacts& RunFacts::Database(const std::string& mdbDn) {
  if (auto found = databases_.find(mdbDn); found != databases_.end()) return found->second;
  DatabaseFacts facts;
  // One round trip for the usual database; the level-by-level reads for any
  // other, and for every failure, so that it is told as they tell it.
  if (ReadDatabaseAtOnce(mdbDn, &facts)) return databases_[mdbDn] = std::move(facts);
  facts = DatabaseFacts();
  facts.homeRead = ReadMailDatabaseHome(session_, mdbDn, &facts.home);
  if (facts.homeRead.ok() && withAdminGroups_) {
    LdapEntry group;
    facts.adminGroupRead = FindAncestor(session_, facts.home.serverDn, "msExchAdminGroup", &group);
    if (facts.adminGroupRead.ok()) {
      facts.adminGroupLegacyDn = FirstValue(group, "legacyExchangeDN");
      if (facts.adminGroupLegacyDn.empty())
        facts.adminGroupRead = Outcome::HResult(kEAdsPropertyNotFound);
    }
  }
  if (IsLostAnswer(facts.homeRead) || IsLostAnswer(facts.adminGroupRead)) {
    unkeptDatabase_ = std::move(facts);
    return unkeptDatabase_;
  }
  return databases_[mdbDn] = std::move(facts);
}

bool RunFacts::ReadDatabaseAtOnce(const std::string& mdbDn, DatabaseFacts* facts) {
  // The database, each object above it and the MTA each could hold, read
  // together from the configuration.
  const std::optional<std::string> services = ParentDn(exchangeServicesDn_);
  const std::optional<std::string> configuration = services ? ParentDn(*services) : std::nullopt;
  if (!configuration || mdbDn.empty()) return false;
  std::vector<std::string> above;
  for (std::optional<std::string> parent = ParentDn(mdbDn); parent; parent = ParentDn(*parent))
    above.push_back(*parent);
  std::string filter = "(|(distinguishedName=" + EscapeFilterValue(mdbDn) + ")";
  for (const std::string& dn : above) {
    filter += "(distinguishedName=" + EscapeFilterValue(dn) + ")";
    filter += "(distinguishedName=" + EscapeFilterValue("CN=Microsoft MTA," + dn) + ")";
  }
  filter += ")";
  LdapSearchRequest request;
  request.base = *configuration;
  request.scope = LdapScope::kSubtree;
  request.filter = filter;
  request.attributes = std::vector<std::string>{"objectClass", "legacyExchangeDN"};
  std::vector<LdapEntry> entries;
  if (session_.Search(request, &entries) != 0) return false;
  const auto find = [&](const std::string& dn) -> const LdapEntry* {
    for (const LdapEntry& entry : entries)
      if (LowerCase(entry.dn) == LowerCase(dn)) return &entry;
    return nullptr;
  };
  const auto hasClass = [](const LdapEntry& entry, const char* objectClass) {
    const std::vector<std::string>* classes = entry.Find("objectClass");
    if (classes == nullptr) return false;
    for (const std::string& value : *classes)
      if (LowerCase(value) == LowerCase(objectClass)) return true;
    return false;
  };
  const LdapEntry* mdb = find(mdbDn);
  if (mdb == nullptr || !hasClass(*mdb, "msExchPrivateMDB")) return false;
  size_t level = 0;
  const LdapEntry* server = nullptr;
  for (; level < above.size() && server == nullptr; ++level) {
    const LdapEntry* entry = find(above[level]);
    if (entry != nullptr && hasClass(*entry, "msExchExchangeServer")) server = entry;
  }
  if (server == nullptr || FirstValue(*server, "legacyExchangeDN").empty()) return false;
  facts->home.mdbDn = mdbDn;
  facts->home.serverDn = server->dn;
  facts->home.serverLegacyDn = FirstValue(*server, "legacyExchangeDN");
  if (const LdapEntry* mta = find("CN=Microsoft MTA," + server->dn)) facts->home.mtaDn = mta->dn;
  if (!withAdminGroups_) return true;
  for (; level < above.size(); ++level) {
    const LdapEntry* entry = find(above[level]);
    if (entry == nullptr || !hasClass(*entry, "msExchAdminGroup")) continue;
    facts->adminGroupLegacyDn = FirstValue(*entry, "legacyExchangeDN");
    return !facts->adminGroupLegacyDn.empty();
  }
  return false;
}

const OrganisationFacts& RunFacts::Organisation() {
  if (organisation_) return *organisation_;
  OrganisationFacts facts;
  std::vector<LdapEntry> groups;
  const int rc = session_.Search(OrganisationSearch(exchangeServicesDn_), &groups);
  if (rc != 0) {
    facts.read = Outcome::HResult(HResultFromLdapCode(rc));
  } else if (groups.empty()) {
    facts.read = Outcome::HResult(kEDsNoSuchObject);
  } else {
    facts.firstAdminGroupLegacyDn = FirstValue(groups.front(), "legacyExchangeDN");
    if (facts.firstAdminGroupLegacyDn.empty()) facts.read = Outcome::HResult(kEAdsPropertyNotFound);
  }
  if (IsLostAnswer(facts.read)) {
    unkeptOrganisation_ = std::move(facts);
    return unkeptOrganisation_;
  }
  organisation_ = std::move(facts);
  return *organisation_;
}

}  // namespace varnel
