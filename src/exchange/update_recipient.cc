#include "exchange/update_recipient.h"

#include <iostream>
#include <set>
#include <vector>

#include "cli/switch_table.h"
#include "diag/console.h"
#include "exchange/exchange_attributes.h"
#include "exchange/quota.h"
#include "ldap/attribute_modification.h"
#include "text/string_helpers.h"

namespace varnel {

UpdateOptions UpdateOptionsFromSwitches(const SwitchTable& switches) {
  UpdateOptions options;
  options.hideFromAddressLists = switches.IsPresent("hfal");
  options.unhideFromAddressLists = switches.IsPresent("uhfal");
  if (switches.IsPresent("quota")) options.quota = switches.GetValue("quota");
  return options;
}

int UpdateRecipient(LdapConnection& session, const std::string& dn, const UpdateOptions& options) {
  std::vector<std::string> settings;           // "name:value" replacements, in queue order
  std::vector<std::string> removalCandidates;  // removed when the object holds them

  if (options.hideFromAddressLists) {
    settings.push_back("msExchHideFromAddressLists:TRUE");
    removalCandidates.push_back("showInAddressBook");
  }
  if (options.unhideFromAddressLists) settings.push_back("msExchHideFromAddressLists:FALSE");
  if (options.quota) {
    const std::optional<QuotaFigures> figures = ParseQuota(*options.quota);
    if (!figures) {
      std::cout << "ERROR: Bad quota values" << EndLine;
    } else {
      for (std::string& setting : QuotaSettings(*figures)) settings.push_back(std::move(setting));
      // Limits that are given are replaced, so only the others need removing.
      for (std::string& limit : QuotaUnsetLimits(*figures)) {
        removalCandidates.push_back(std::move(limit));
      }
    }
  }
  if (settings.empty()) return 0;

  // A removal of an attribute the object lacks would make the server refuse
  // the whole request, so only what the object holds is removed.
  std::vector<std::string> list;
  if (!removalCandidates.empty()) {
    if (Debug()) std::cout << "\nDEBUG: Retrieving DN attributes..." << dn << EndLine;
    std::vector<std::string> names;
    const int readResult = LdapGetAttrNames(session, dn, &names);
    if (readResult != 0) return readResult;
    std::set<std::string> present;
    for (const std::string& name : names) present.insert(LowerCase(name));
    for (const std::string& candidate : removalCandidates) {
      if (present.count(LowerCase(candidate)) != 0) list.push_back(candidate);
    }
  }
  list.insert(list.end(), settings.begin(), settings.end());
  return LdapSetAttrList(session, dn, list);
}

int UpdateRecipient(LdapConnection& session, const std::string& dn, const SwitchTable& switches) {
  return UpdateRecipient(session, dn, UpdateOptionsFromSwitches(switches));
}

}  // namespace varnel
