#include "run/put_back.h"

#include <set>

#include "text/string_helpers.h"

namespace varnel {

std::vector<LdapModification> PutBackModifications(const ObjectPlan& plan,
                                                   const LdapEntry& before) {
  LdapEntry after = before;
  ApplyModifications(plan.mods, &after);
  std::vector<LdapModification> putBack;
  std::set<std::string> done;
  for (const LdapModification& mod : plan.mods) {
    if (!done.insert(LowerCase(mod.type)).second) continue;
    const std::vector<std::string>* left = after.Find(mod.type);
    const std::vector<std::string>* held = before.Find(mod.type);
    if (left != nullptr && !left->empty())
      putBack.push_back({LdapModification::Op::kDelete, mod.type, *left});
    if (held != nullptr && !held->empty())
      putBack.push_back({LdapModification::Op::kAdd, mod.type, *held});
  }
  return putBack;
}

}  // namespace varnel
