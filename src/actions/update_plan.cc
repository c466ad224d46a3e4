#include "actions/update_plan.h"

#include <algorithm>
#include <set>

#include "diag/item_lines.h"
#include "exchange/quota.h"
#include "ldap/attribute_modification.h"
#include "ldap/ldap_error.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// The "name:value" replacements the options make, in queue order, and the
// attributes to remove when the object holds them.
struct UpdateTexts {
  std::vector<std::string> settings;
  std::vector<std::string> removalCandidates;
};

UpdateTexts TextsOf(const UpdateOptions& options) {
  UpdateTexts texts;
  if (options.hideFromAddressLists) {
    texts.settings.push_back("msExchHideFromAddressLists:TRUE");
    texts.removalCandidates.push_back("showInAddressBook");
  }
  if (options.unhideFromAddressLists) texts.settings.push_back("msExchHideFromAddressLists:FALSE");
  if (options.quota) {
    if (const std::optional<QuotaFigures> figures = ParseQuota(*options.quota)) {
      for (std::string& setting : QuotaSettings(*figures))
        texts.settings.push_back(std::move(setting));
      // Limits that are given are replaced, so only the others need removing.
      for (std::string& limit : QuotaUnsetLimits(*figures))
        texts.removalCandidates.push_back(std::move(limit));
    }
  }
  return texts;
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
  const UpdateTexts texts = TextsOf(options);
  std::vector<std::string> names = texts.removalCandidates;
  for (const std::string& setting : texts.settings)
    names.push_back(ParseModificationText(setting).type);
  return names;
}

Outcome AppendUpdate(ItemLines& lines, const std::string& dn, const UpdateOptions& options,
                     const ObjectRead& object, std::vector<LdapModification>* mods) {
  const UpdateTexts texts = TextsOf(options);
  if (texts.settings.empty()) return Outcome::Ok();

  // Only what the object holds is removed.
  std::vector<std::string> list;
  if (!texts.removalCandidates.empty()) {
    lines.Trace("\nDEBUG: Retrieving DN attributes..." + dn);
    if (!object.found()) {
      lines.Err(SearchErrorText(object.rc));
      return Outcome::Ldap(object.rc);
    }
    const std::vector<std::string> held = HeldNames(object);
    for (const std::string& candidate : texts.removalCandidates) {
      if (std::find(held.begin(), held.end(), LowerCase(candidate)) != held.end())
        list.push_back(candidate + ":");
    }
  }
  list.insert(list.end(), texts.settings.begin(), texts.settings.end());

  lines.Trace("DEBUG: Setting " + dn);
  for (const std::string& text : list) {
    LdapModification mod = ParseModificationText(text);
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
  lines.Trace("DEBUG: modcnt=" + std::to_string(list.size()));
  return Outcome::Ok();
}

}  // namespace varnel
