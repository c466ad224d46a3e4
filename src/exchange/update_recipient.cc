#include "exchange/update_recipient.h"

#include <algorithm>
#include <set>

#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/quota.h"
#include "ldap/attribute_modification.h"
#include "text/string_helpers.h"

namespace varnel {

Outcome PlanUpdate(Reporter& reporter, LdapConnection& session, const std::string& dn,
                   const UpdateOptions& options, std::vector<LdapModification>* mods) {
  std::vector<std::string> settings;           // "name:value" replacements, in queue order
  std::vector<std::string> removalCandidates;  // removed when the object holds them

  if (options.hideFromAddressLists) {
    settings.push_back("msExchHideFromAddressLists:TRUE");
    removalCandidates.push_back("showInAddressBook");
  }
  if (options.unhideFromAddressLists) settings.push_back("msExchHideFromAddressLists:FALSE");
  if (options.quota) {
    if (const std::optional<QuotaFigures> figures = ParseQuota(*options.quota)) {
      for (std::string& setting : QuotaSettings(*figures)) settings.push_back(std::move(setting));
      // Limits that are given are replaced, so only the others need removing.
      for (std::string& limit : QuotaUnsetLimits(*figures)) {
        removalCandidates.push_back(std::move(limit));
      }
    }
  }
  if (settings.empty()) return Outcome::Ok();

  // Only what the object holds is removed.
  std::vector<std::string> list;
  if (!removalCandidates.empty()) {
    std::set<std::string> present;
    if (Outcome read = ReadHeldAttributes(reporter, session, dn, &present); !read.ok()) return read;
    for (const std::string& candidate : removalCandidates) {
      if (present.count(LowerCase(candidate)) != 0) list.push_back(candidate + ":");
    }
  }
  list.insert(list.end(), settings.begin(), settings.end());

  if (reporter.debug()) reporter.out() << "DEBUG: Setting " << dn << EndLine;
  for (const std::string& text : list) {
    LdapModification mod = ParseModificationText(text);
    if (reporter.debug()) {
      if (mod.op == LdapModification::Op::kDelete) {
        reporter.out() << "DEBUG: Clear - " << mod.type << EndLine;
      } else {
        reporter.out() << "DEBUG: Set - " << mod.type << " to " << mod.values.front() << EndLine;
      }
    }
    // A value the action's own change already sets is set once, to this.
    auto same = std::find_if(mods->begin(), mods->end(), [&](const LdapModification& m) {
      return m.op == LdapModification::Op::kReplace && mod.op == m.op &&
             LowerCase(m.type) == LowerCase(mod.type);
    });
    if (same != mods->end()) {
      same->values = std::move(mod.values);
    } else {
      mods->push_back(std::move(mod));
    }
  }
  if (reporter.debug()) reporter.out() << "DEBUG: modcnt=" << list.size() << EndLine;
  return Outcome::Ok();
}

}  // namespace varnel
