#include "exchange/recipient_rules.h"

#include <array>

#include "exchange/recipient_alias.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) { return LowerCase(a) == LowerCase(b); }

bool IsUserClass(const std::string& objectClass) {
  return EqualNoCase(objectClass, "user") || EqualNoCase(objectClass, "inetOrgPerson");
}

// The staged value of an attribute when one is staged, else the value read.
std::string CurrentValue(const LdapEntry& entry, const std::vector<LdapModification>& staged,
                         const std::string& name) {
  for (const LdapModification& mod : staged) {
    if (EqualNoCase(mod.type, name)) return mod.values.empty() ? "" : mod.values.front();
  }
  return FirstValue(entry, name);
}

void Stage(std::vector<LdapModification>& staged, const std::string& name,
           std::vector<std::string> values) {
  for (LdapModification& mod : staged) {
    if (EqualNoCase(mod.type, name)) {
      mod.values = std::move(values);
      return;
    }
  }
  staged.push_back({LdapModification::Op::kReplace, name, std::move(values)});
}

// A legacy Exchange DN is an X.500 name ("/o=.../ou=.../cn=..."); anything
// else (such as the "ADCDisabledMail" marker) does not address the recipient.
bool IsLegacyDn(const std::string& value) { return !value.empty() && value.front() == '/'; }

void StageMailboxHome(const LdapEntry& object, const MailDatabaseHome& home, bool moving,
                      std::vector<LdapModification>& staged) {
  Stage(staged, "homeMDB", {home.mdbDn});
  if (home.mtaDn) {
    Stage(staged, "homeMTA", {"CN=Microsoft MTA," + home.serverDn});
  } else if (moving && !CurrentValue(object, staged, "homeMTA").empty()) {
    Stage(staged, "homeMTA", {});  // the old server's MTA no longer serves the mailbox
  }
  Stage(staged, "msExchHomeServerName", {home.serverLegacyDn});
}

// The alias and legacy DN a new recipient needs: the legacy DN is made below
// `groupLegacyDn`, whose read ended in `groupRead`.
struct Naming {
  bool needsNickname = false;
  bool needsLegacyDn = false;
  std::string alias;
  std::string legacyDn;
};

Outcome NameRecipient(const LdapEntry& object, const std::vector<LdapModification>& staged,
                      const Outcome& groupRead, const std::string& groupLegacyDn, Naming* naming) {
  naming->needsNickname = CurrentValue(object, staged, "mailNickname").empty();
  naming->needsLegacyDn = !IsLegacyDn(CurrentValue(object, staged, "legacyExchangeDN"));
  naming->alias = AliasFor(FirstValue(object, "sAMAccountName"), FirstValue(object, "cn"));
  if ((naming->needsNickname || naming->needsLegacyDn) && naming->alias.empty())
    return Outcome::HResult(kEAdsPropertyInvalid);
  if (naming->needsLegacyDn) {
    if (!groupRead.ok()) return groupRead;
    if (groupLegacyDn.empty()) return Outcome::HResult(kEAdsPropertyNotFound);
    naming->legacyDn = groupLegacyDn + "/cn=Recipients/cn=" + naming->alias;
  }
  return Outcome::Ok();
}

void StageNaming(const Naming& naming, std::vector<LdapModification>& staged) {
  if (naming.needsNickname) Stage(staged, "mailNickname", {naming.alias});
  if (naming.needsLegacyDn) Stage(staged, "legacyExchangeDN", {naming.legacyDn});
}

}  // namespace

const std::vector<std::string>& RecipientRuleAttributes() {
  static const std::vector<std::string> kAttributes = {
      "objectClass", "cn",      "sAMAccountName",       "mailNickname",  "legacyExchangeDN",
      "homeMDB",     "homeMTA", "msExchHomeServerName", "targetAddress", "mail",
  };
  return kAttributes;
}

std::string FirstValue(const LdapEntry& entry, const std::string& name) {
  const std::vector<std::string>* values = entry.Find(name);
  return values == nullptr || values->empty() ? "" : values->front();
}

std::string MostSpecificClass(const LdapEntry& entry) {
  const std::vector<std::string>* values = entry.Find("objectClass");
  return values == nullptr || values->empty() ? "" : values->back();
}

bool IsRecipientObject(const LdapEntry& object) {
  const std::vector<std::string>* classes = object.Find("objectClass");
  if (classes == nullptr) return false;
  bool recipient = false;
  for (const std::string& objectClass : *classes) {
    if (EqualNoCase(objectClass, "computer")) return false;
    for (const char* kind : {"user", "contact", "group", "publicFolder"})
      recipient = recipient || EqualNoCase(objectClass, kind);
  }
  return recipient;
}

bool OffersInterface(const LdapEntry& object, RecipientInterface kind) {
  const std::string objectClass = MostSpecificClass(object);
  if (IsUserClass(objectClass)) return true;
  return kind == RecipientInterface::kMailRecipient &&
         (EqualNoCase(objectClass, "group") || EqualNoCase(objectClass, "contact"));
}

Outcome StageCreateMailbox(const LdapEntry& object, const DatabaseFacts& database,
                           const GuidSource& guids, std::vector<LdapModification>* staged) {
  if (!CurrentValue(object, *staged, "homeMDB").empty())
    return Outcome::HResult(kEObjectAlreadyExists);
  if (!database.homeRead.ok()) return database.homeRead;
  Naming naming;
  if (Outcome named = NameRecipient(object, *staged, database.adminGroupRead,
                                    database.adminGroupLegacyDn, &naming);
      !named.ok())
    return named;
  std::array<uint8_t, 16> guid{};
  if (!guids || !guids(guid)) return Outcome::HResult(kEFail);

  StageMailboxHome(object, database.home, /*moving=*/false, *staged);
  StageNaming(naming, *staged);
  Stage(*staged, "mDBUseDefaults", {"TRUE"});
  Stage(*staged, "msExchMailboxGuid", {std::string(guid.begin(), guid.end())});
  return Outcome::Ok();
}

Outcome StageMoveMailbox(const LdapEntry& object, const std::string& mdbDn,
                         const DatabaseFacts& database, std::vector<LdapModification>* staged) {
  const std::string current = CurrentValue(object, *staged, "homeMDB");
  if (current.empty()) return Outcome::HResult(kEAdsPropertyNotFound);
  if (EqualNoCase(current, mdbDn)) return Outcome::HResult(kEObjectAlreadyExists);
  if (!database.homeRead.ok()) return database.homeRead;
  StageMailboxHome(object, database.home, /*moving=*/true, *staged);
  return Outcome::Ok();
}

Outcome StageMailEnable(const LdapEntry& object, const std::string& targetAddress,
                        const OrganisationFacts& organisation,
                        std::vector<LdapModification>* staged) {
  const std::string objectClass = MostSpecificClass(object);
  const bool isGroup = EqualNoCase(objectClass, "group");
  if (!CurrentValue(object, *staged, "targetAddress").empty())
    return Outcome::HResult(kEObjectAlreadyExists);
  if (IsUserClass(objectClass) && !CurrentValue(object, *staged, "homeMDB").empty())
    return Outcome::HResult(kEObjectAlreadyExists);
  if (!isGroup && targetAddress.empty()) return Outcome::HResult(kEAdsBadParameter);
  Naming naming;
  if (Outcome named = NameRecipient(object, *staged, organisation.read,
                                    organisation.firstAdminGroupLegacyDn, &naming);
      !named.ok())
    return named;

  if (!isGroup) Stage(*staged, "targetAddress", {targetAddress});
  StageNaming(naming, *staged);
  if (isGroup) {
    Stage(*staged, "reportToOriginator", {"TRUE"});
  } else {
    Stage(*staged, "mAPIRecipient", {"FALSE"});
  }
  return Outcome::Ok();
}

}  // namespace varnel
