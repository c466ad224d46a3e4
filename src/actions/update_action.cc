// -upd: address-list visibility and mailbox storage limits, one modify
// request per object.
#include "actions/action_list.h"
#include "actions/update_plan.h"
#include "diag/held_lines.h"

namespace varnel {
namespace {

class UpdateAction : public Action {
 public:
  explicit UpdateAction(const RunSettings& settings) : options_(settings.update) {}

  const char* Banner() const override { return "Updating Objects..."; }
  const char* Name() const override { return "upd"; }

  std::vector<std::string> Attributes() const override {
    std::vector<std::string> names = {"objectClass"};
    for (std::string& name : UpdateAttributes(options_)) names.push_back(std::move(name));
    return names;
  }

  ItemPlan Plan(const PlanInput& input) const override {
    HeldLines held(input.lines);
    ItemPlan result;
    result.plan.dn = input.dn;
    result.outcome =
        AppendUpdate(held.reporter(), input.dn, options_, input.object, &result.plan.mods);
    result.out = held.out();
    result.err = held.err();
    return result;
  }

 private:
  const UpdateOptions options_;
};

}  // namespace

std::unique_ptr<Action> MakeUpdateAction(const RunSettings& settings, const GuidSource&) {
  return std::make_unique<UpdateAction>(settings);
}

}  // namespace varnel
