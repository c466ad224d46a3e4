// -upd: address-list visibility and mailbox storage limits, one modify
// request per object.
#include "actions/action_list.h"
#include "actions/held_plan.h"
#include "actions/update_plan.h"

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
    return HeldPlan(input, [&](ItemLines& lines, ObjectPlan& plan) {
      return AppendUpdate(lines, input.dn, options_, input.object, &plan.mods);
    });
  }

 private:
  const UpdateOptions options_;
};

}  // namespace

std::unique_ptr<Action> MakeUpdateAction(const RunSettings& settings, const StartupFacts&,
                                         const GuidSource&) {
  return std::make_unique<UpdateAction>(settings);
}

}  // namespace varnel
