#include "directory/run_facts.h"

#include "directory/home_mdb.h"
#include "directory/mail_database_reads.h"
#include "exchange/ldap_hresult.h"
#include "exchange/recipient_rules.h"
#include "ldap/resilient_session.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// A code that says nothing about the directory, only that the answer was lost.
bool IsLostAnswer(HResult hr) {
  for (int ldapCode : {0x51, 0x52, 0x55, 0x5b}) {
    if (hr == HResultFromLdapCode(ldapCode)) return true;
  }
  return false;
}

}  // namespace

RunFacts::RunFacts(LdapConnection& session, std::string exchangeServicesDn,
                   std::string mdbDelimiter, bool withAdminGroups)
    : session_(session),
      exchangeServicesDn_(std::move(exchangeServicesDn)),
      mdbDelimiter_(std::move(mdbDelimiter)),
      withAdminGroups_(withAdminGroups) {}

std::string RunFacts::ResolveDatabase(Reporter& reporter, const std::string& text) {
  const std::string key = LowerCase(text);
  if (auto found = resolved_.find(key); found != resolved_.end()) return found->second;
  std::string dn = ResolveHomeMDB(reporter, session_, exchangeServicesDn_, text, mdbDelimiter_);
  if (!dn.empty()) resolved_.emplace(key, dn);
  return dn;
}

const DatabaseFacts& RunFacts::Database(const std::string& mdbDn) {
  if (auto found = databases_.find(mdbDn); found != databases_.end()) return found->second;
  DatabaseFacts facts;
  facts.homeRead = ReadMailDatabaseHome(session_, mdbDn, &facts.home);
  if (facts.homeRead == kSOk && withAdminGroups_) {
    LdapEntry group;
    facts.adminGroupRead = FindAncestor(session_, facts.home.serverDn, "msExchAdminGroup", &group);
    if (facts.adminGroupRead == kSOk) {
      facts.adminGroupLegacyDn = FirstValue(group, "legacyExchangeDN");
      if (facts.adminGroupLegacyDn.empty()) facts.adminGroupRead = kEAdsPropertyNotFound;
    }
  }
  if (IsLostAnswer(facts.homeRead) || IsLostAnswer(facts.adminGroupRead)) {
    unkeptDatabase_ = std::move(facts);
    return unkeptDatabase_;
  }
  return databases_[mdbDn] = std::move(facts);
}

const OrganisationFacts& RunFacts::Organisation() {
  if (organisation_) return *organisation_;
  OrganisationFacts facts;
  LdapSearchRequest request;
  request.base = exchangeServicesDn_;
  request.scope = LdapScope::kSubtree;
  request.filter = "(objectClass=msExchAdminGroup)";
  request.attributes = std::vector<std::string>{"legacyExchangeDN"};
  std::vector<LdapEntry> groups;
  const int rc = session_.Search(request, &groups);
  if (rc != 0) {
    facts.read = HResultFromLdapCode(rc);
  } else if (groups.empty()) {
    facts.read = kEDsNoSuchObject;
  } else {
    facts.firstAdminGroupLegacyDn = FirstValue(groups.front(), "legacyExchangeDN");
    if (facts.firstAdminGroupLegacyDn.empty()) facts.read = kEAdsPropertyNotFound;
  }
  if (IsLostAnswer(facts.read)) {
    unkeptOrganisation_ = std::move(facts);
    return unkeptOrganisation_;
  }
  organisation_ = std::move(facts);
  return *organisation_;
}

}  // namespace varnel
