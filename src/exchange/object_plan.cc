#include "exchange/object_plan.h"

#include <algorithm>

#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// True when the modification leaves the attribute as the object holds it.
bool Unchanged(const LdapEntry& object, const LdapModification& mod) {
  const std::vector<std::string>* held = object.Find(mod.type);
  if (mod.op == LdapModification::Op::kDelete || mod.values.empty())
    return held == nullptr || held->empty();
  if (held == nullptr) return false;
  std::vector<std::string> have = *held;
  std::vector<std::string> want = mod.values;
  std::sort(have.begin(), have.end());
  std::sort(want.begin(), want.end());
  return have == want;
}

}  // namespace

void DropUnchangedModifications(const LdapEntry& object, std::vector<LdapModification>* mods) {
  std::erase_if(*mods, [&](const LdapModification& mod) { return Unchanged(object, mod); });
}

std::vector<std::string> ChangedAttributes(const std::vector<LdapModification>& mods) {
  std::vector<std::string> names;
  for (const LdapModification& mod : mods) {
    const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return LowerCase(name) == LowerCase(mod.type);
    });
    if (!listed) names.push_back(mod.type);
  }
  return names;
}

void ApplyModifications(const std::vector<LdapModification>& mods, LdapEntry* object) {
  for (const LdapModification& mod : mods) {
    auto& attributes = object->attributes;
    std::erase_if(attributes,
                  [&](const LdapAttribute& a) { return LowerCase(a.name) == LowerCase(mod.type); });
    if (mod.op == LdapModification::Op::kReplace && !mod.values.empty())
      attributes.push_back({mod.type, mod.values});
  }
}

bool HoldsModifications(const LdapEntry& object, const std::vector<LdapModification>& mods) {
  return std::all_of(mods.begin(), mods.end(),
                     [&](const LdapModification& mod) { return Unchanged(object, mod); });
}

bool MayHaveLanded(int resultCode) {
  return resultCode == kLdapServerDown || resultCode == kLdapLocalError ||
         resultCode == kLdapTimeout;
}

}  // namespace varnel
