// -cr: a mailbox created in the line's or the run's mail database, with the
// run's quotas and address-list visibility in the same request.
#include "actions/action_list.h"
#include "actions/directory_object_step.h"
#include "actions/held_plan.h"
#include "actions/update_plan.h"

namespace varnel {
namespace {

class CreateMailboxAction : public Action {
 public:
  CreateMailboxAction(const RunSettings& settings, GuidSource guids)
      : host_(settings.host), update_(settings.update), guids_(std::move(guids)) {}

  const char* Banner() const override { return "Creating Mailboxes..."; }
  const char* Name() const override { return "cr"; }

  std::vector<std::string> Attributes() const override {
    std::vector<std::string> names = RecipientRuleAttributes();
    names.push_back("mDBUseDefaults");
    names.push_back("msExchMailboxGuid");
    for (std::string& name : UpdateAttributes(update_)) names.push_back(std::move(name));
    return names;
  }

  Needs FactsNeeded() const override { return Needs::kDatabase; }
  LineOverride Override() const override { return LineOverride::kDatabase; }

  ItemPlan Plan(const PlanInput& input) const override {
    return HeldPlan(input, [&](ItemLines& lines, ObjectPlan& plan) {
      const Outcome created = PlanMailboxChange(
          lines, host_, input, " - No MailBox Create function for this object type.",
          " - ERROR: (CreateMailBox) ", &plan,
          [&](const LdapEntry& object, std::vector<LdapModification>* staged) {
            return StageCreateMailbox(object, DatabaseOf(input.facts), guids_, staged);
          });
      if (!created.ok()) return created;
      // The new mailbox takes the quota and address-list settings of the run.
      return AppendUpdate(lines, plan.dn, update_, input.object, &plan.mods);
    });
  }

 private:
  const std::string host_;
  const UpdateOptions update_;
  const GuidSource guids_;
};

}  // namespace

std::unique_ptr<Action> MakeCreateMailboxAction(const RunSettings& settings, const StartupFacts&,
                                                const GuidSource& guids) {
  return std::make_unique<CreateMailboxAction>(settings, guids);
}

}  // namespace varnel
