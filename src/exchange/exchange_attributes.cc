#include "exchange/exchange_attributes.h"

#include <set>

#include "diag/reporter.h"
#include "ldap/ldap_error.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

std::vector<std::string> BuildExchangeAttributeList() {
  return {
      "altRecipient",
      "authOrig",
      "autoReplyMessage",
      "delivContLength",
      "deliverAndRedirect",
      "deliveryMechanism",
      "delivExtContTypes",
      "dLMemDefault",
      "dLMemRejectPerms",
      "dLMemSubmitPerms",
      "dnQualifier",
      "enabledProtocols",
      "expirationTime",
      "extensionData",
      "folderPathname",
      "formData",
      "forwardingAddress",
      "garbageCollPeriod",
      "homeMTA",
      "importedFrom",
      "internetEncoding",
      "labeledURI",
      "language",
      "languageCode",
      "legacyExchangeDN",
      "mail",
      "mailNickname",
      "mAPIRecipient",
      "msExchCustomProxyAddresses",
      "msExchExpansionServerName",
      "msExchFBURL",
      "msExchMailboxSecurityDescriptor",
      "msExchMasterAccountSid",
      "msExchPoliciesExcluded",
      "msExchPoliciesIncluded",
      "msExchPolicyEnabled",
      "msExchPolicyOptionList",
      "msExchPreviousAccountSid",
      "msExchProxyCustomProxy",
      "msExchRecipLimit",
      "msExchUserAccountControl",
      "pOPCharacterSet",
      "pOPContentFormat",
      "protocolSettings",
      "publicDelegates",
      "replicationSensitivity",
      "secretary",
      "securityProtocol",
      "submissionContLength",
      "targetAddress",
      "textEncodedORAddress",
      "unauthOrig",
      "heuristics",
      "msExchADCGlobalNames",
      "msExchALObjectVersion",
      "msExchHideFromAddressLists",
      "msExchInconsistentState",
      "msExchUnmergedAttsPt",
      "replicatedObjectVersion",
      "replicationSignature",
      "showInAddressBook",
      "unmergedAtts",
      "extensionAttribute1",
      "extensionAttribute10",
      "extensionAttribute11",
      "extensionAttribute12",
      "extensionAttribute13",
      "extensionAttribute14",
      "extensionAttribute15",
      "extensionAttribute2",
      "extensionAttribute3",
      "extensionAttribute4",
      "extensionAttribute5",
      "extensionAttribute6",
      "extensionAttribute7",
      "extensionAttribute8",
      "extensionAttribute9",
      "autoReply",
      "deletedItemFlags",
      "homeMDB",
      "mDBOverHardQuotaLimit",
      "mDBOverQuotaLimit",
      "mDBStorageQuota",
      "mDBUseDefaults",
      "msExchHomeServerName",
      "msExchMailboxGuid",
      "msExchMailboxUrl",
      "msExchPfRootUrl",
      "msExchUseOAB",
      "proxyAddresses",
      "reportToOriginator",
  };
}

}  // namespace

const std::vector<std::string>& ExchangeAttributeList() {
  static const std::vector<std::string> list = BuildExchangeAttributeList();
  return list;
}

bool IsBinaryAttribute(const std::string& name) {
  static const std::set<std::string> kBinary = {
      "delivextconttypes",
      "extensiondata",
      "formdata",
      "msexchmailboxguid",
      "msexchmailboxsecuritydescriptor",
      "msexchmasteraccountsid",
      "msexchpolicyoptionlist",
      "msexchpreviousaccountsid",
      "popcharacterset",
      "replicationsignature",
      "securityprotocol",
      "unmergedatts",
  };
  return kBinary.contains(LowerCase(name));
}

Outcome LdapGetAttrNames(Reporter& reporter, LdapConnection& session, const std::string& dn,
                         std::vector<std::string>* names) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = "(objectclass=*)";
  request.attributes = std::vector<std::string>{"*"};
  request.attributesOnly = true;
  std::vector<LdapEntry> entries;
  const int rc = session.Search(request, &entries);
  if (rc != 0) {
    PrintSearchError(reporter, rc);
    return Outcome::Ldap(rc);
  }
  for (const LdapEntry& entry : entries) {
    for (const LdapAttribute& attribute : entry.attributes) names->push_back(attribute.name);
  }
  return Outcome::Ok();
}

Outcome ReadHeldAttributes(Reporter& reporter, LdapConnection& session, const std::string& dn,
                           std::set<std::string>* held) {
  if (reporter.debug()) reporter.out() << "\nDEBUG: Retrieving DN attributes..." << dn << EndLine;
  std::vector<std::string> names;
  if (Outcome read = LdapGetAttrNames(reporter, session, dn, &names); !read.ok()) return read;
  for (const std::string& name : names) held->insert(LowerCase(name));
  return Outcome::Ok();
}

Outcome PlanClear(Reporter& reporter, LdapConnection& session, const std::string& dn,
                  const std::vector<std::string>& list, bool markAdcDisabled,
                  std::vector<LdapModification>* mods) {
  // An object whose attributes cannot be read has not been cleared: the
  // caller must not count it as a success.
  std::set<std::string> present;
  if (Outcome read = ReadHeldAttributes(reporter, session, dn, &present); !read.ok()) return read;

  if (reporter.debug()) reporter.out() << "\nDEBUG: Clearing DN: " << dn << EndLine;
  const std::string kLegacyDn = "legacyExchangeDN";
  for (const std::string& name : list) {
    if (present.count(LowerCase(name)) == 0) continue;
    if (markAdcDisabled && LowerCase(name) == LowerCase(kLegacyDn)) continue;  // replaced below
    mods->push_back({LdapModification::Op::kDelete, name, {}});
    if (reporter.debug()) reporter.out() << "DEBUG: Clear - " << name << EndLine;
  }
  if (markAdcDisabled) {
    mods->push_back({LdapModification::Op::kReplace, kLegacyDn, {"ADCDisabledMail"}});
    if (reporter.debug())
      reporter.out() << "DEBUG: Set - " << kLegacyDn << " to ADCDisabledMail" << EndLine;
  }
  if (reporter.debug())
    reporter.out() << "DEBUG: modcnt=" << static_cast<int>(mods->size()) << EndLine;
  return Outcome::Ok();
}

}  // namespace varnel
