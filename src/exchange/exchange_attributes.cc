#include "exchange/exchange_attributes.h"

#include <set>

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

}  // namespace varnel
