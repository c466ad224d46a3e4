#include "actions/update_plan.h"

#include <algorithm>
#include <set>

#include "diag/item_lines.h"
#include "exchange/quota.h"
#include "ldap/ldap_error.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// The replacements the options make, in queue order, and the attributes to
// remove when the object holds them.
struct UpdateChanges {
  std::vector<LdapModification> settings;
  std::vector<std::string> removalCandidates;
};

UpdateChanges ChangesOf(const UpdateOptions& options) {
  UpdateChanges changes;
  const auto set = [&changes](std::string name, std::string value) {
    changes.settings.push_back(
        {LdapModification::Op::kReplace, std::move(name), {std::move(value)}});
  };
  if (options.hideFromAddressLists) {
    set("msExchHideFromAddressLists", "TRUE");
    changes.removalCandidates.push_back("showInAddressBook");
  }
  if (options.unhideFromAddressLists) set("msExchHideFromAddressLists", "FALSE");
  if (options.quota) {
    for (QuotaSetting& setting : QuotaSettings(*options.quota))
      set(std::move(setting.attribute), std::move(setting.value));
    // Limits that are given are replaced, so only the others need removing.
    for (std::string& limit : QuotaUnsetLimits(*options.quota))
      changes.removalCandidates.push_back(std::move(limit));
  }
  return changes;
}

}  // namespace

std::vector<std::string> HeldNames(const ObjectRead& object) {
  std::vector<std::string> names;
  if (!object.found()) return names;
  for (const LdapAttribute& attribute : object.entry.attributes)
    names.push_back(LowerCase(attribute.name));
  return names;
}

std::vector<std::string> UpdateAttributes(const UpdateOptions& options) {
  const UpdateChanges changes = ChangesOf(options);
  std::vector<std::string> names = changes.removalCandidates;
  for (const LdapModification& setting : changes.settings) names.push_back(setting.type);
  return names;
}

Outcome AppendUpdate(ItemLines& lines, const std::string& dn, const UpdateOptions& options,
                     const ObjectRead& object, std::vector<LdapModification>* mods) {
  UpdateChanges changes = ChangesOf(options);
  if (changes.settings.empty()) return Outcome::Ok();

  // Only what the object holds is removed.
  std::vector<LdapModification> list;
  if (!changes.removalCandidates.empty()) {
    lines.Trace("\nDEBUG: Retrieving DN attributes..." + dn);
    if (!object.found()) {
      lines.Err(SearchErrorText(object.rc));
      return Outcome::Ldap(object.rc);
    }
    const std::vector<std::string> held = HeldNames(object);
    for (std::string& candidate : changes.removalCandidates) {
      if (std::find(held.begin(), held.end(), LowerCase(candidate)) != held.end())
        list.push_back({LdapModification::Op::kDelete, std::move(candidate), {}});
    }
  }
  for (LdapModification& setting : changes.settings) list.push_back(std::move(setting));

  lines.Trace("DEBUG: Setting " + dn);
  const size_t count = list.size();
  for (LdapModification& mod : list) {
    lines.Trace(mod.op == LdapModification::Op::kDelete
                    ? "DEBUG: Clear - " + mod.type
                    : "DEBUG: Set - " + mod.type + " to " + mod.values.front());
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
  lines.Trace("DEBUG: modcnt=" + std::to_string(count));
  return Outcome::Ok();
}

}  // namespace varnel
