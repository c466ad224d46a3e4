// -move: a mailbox moved to the line's or the run's mail database (the store
// moves the data).
#include "actions/action_list.h"
#include "actions/directory_object_step.h"
#include "actions/held_plan.h"

namespace varnel {
namespace {

class MoveMailboxAction : public Action {
 public:
  explicit MoveMailboxAction(const RunSettings& settings) : host_(settings.host) {}

  const char* Banner() const override { return "Moving Mailboxes..."; }
  const char* Name() const override { return "move"; }

  std::vector<std::string> Attributes() const override { return RecipientRuleAttributes(); }

  Needs FactsNeeded() const override { return Needs::kDatabase; }
  LineOverride Override() const override { return LineOverride::kDatabase; }

  ItemPlan Plan(const PlanInput& input) const override {
    return HeldPlan(input, [&](ItemLines& lines, ObjectPlan& plan) {
      return PlanMailboxChange(
          lines, host_, input, " - No MailBox Move function for this object type.",
          " - ERROR: (MoveMailBox) ", &plan,
          [&](const LdapEntry& object, std::vector<LdapModification>* staged) {
            return StageMoveMailbox(object, input.facts.mdbDn, DatabaseOf(input.facts), staged);
          });
    });
  }

 private:
  const std::string host_;
};

}  // namespace

std::unique_ptr<Action> MakeMoveMailboxAction(const RunSettings& settings, const StartupFacts&,
                                              const GuidSource&) {
  return std::make_unique<MoveMailboxAction>(settings);
}

}  // namespace varnel
