// -clear: removes every Exchange attribute the object holds, in one request.
// In a mixed-mode organisation legacyExchangeDN is not removed but set to
// "ADCDisabledMail" in that same request.
#include <algorithm>

#include "actions/action_list.h"
#include "actions/held_plan.h"
#include "exchange/exchange_attributes.h"
#include "ldap/ldap_error.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

class ClearAction : public Action {
 public:
  explicit ClearAction(const StartupFacts& startup) : markAdcDisabled_(!startup.nativeMode) {}

  const char* Banner() const override { return "Clearing Exchange Attributes..."; }
  const char* Name() const override { return "clear"; }

  std::vector<std::string> Attributes() const override {
    std::vector<std::string> names = {"objectClass"};
    const std::vector<std::string>& list = ExchangeAttributeList();
    names.insert(names.end(), list.begin(), list.end());
    return names;
  }

  ItemPlan Plan(const PlanInput& input) const override {
    return HeldPlan(input, [&](ItemLines& lines, ObjectPlan& plan) {
      return PlanClear(lines, input, &plan.mods);
    });
  }

 private:
  Outcome PlanClear(ItemLines& lines, const PlanInput& input,
                    std::vector<LdapModification>* mods) const {
    lines.Trace("\nDEBUG: Retrieving DN attributes..." + input.dn);
    // An object whose attributes cannot be read has not been cleared.
    if (!input.object.found()) {
      lines.Err(SearchErrorText(input.object.rc));
      return Outcome::Ldap(input.object.rc);
    }
    lines.Trace("\nDEBUG: Clearing DN: " + input.dn);
    const std::string kLegacyDn = "legacyExchangeDN";
    for (const std::string& name : ExchangeAttributeList()) {
      if (input.object.entry.Find(name) == nullptr) continue;
      if (markAdcDisabled_ && LowerCase(name) == LowerCase(kLegacyDn)) continue;  // set below
      mods->push_back({LdapModification::Op::kDelete, name, {}});
      lines.Trace("DEBUG: Clear - " + name);
    }
    if (markAdcDisabled_) {
      mods->push_back({LdapModification::Op::kReplace, kLegacyDn, {"ADCDisabledMail"}});
      lines.Trace("DEBUG: Set - " + kLegacyDn + " to ADCDisabledMail");
    }
    lines.Trace("DEBUG: modcnt=" + std::to_string(mods->size()));
    return Outcome::Ok();
  }

  const bool markAdcDisabled_;
};

}  // namespace

std::unique_ptr<Action> MakeClearAction(const RunSettings&, const StartupFacts& startup,
                                        const GuidSource&) {
  return std::make_unique<ClearAction>(startup);
}

}  // namespace varnel
