// -move: a mailbox moved to the line's or the run's mail database (the store
// moves the data).
#include "actions/action_list.h"
#include "actions/directory_object_step.h"
#include "diag/held_lines.h"
#include "exchange/ads_path.h"

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
    HeldLines held(input.lines);
    ItemPlan result;
    result.plan.dn = input.dn;
    result.outcome = PlanMove(held.reporter(), input, &result.plan);
    result.out = held.out();
    result.err = held.err();
    return result;
  }

 private:
  Outcome PlanMove(Reporter& lines, const PlanInput& input, ObjectPlan* plan) const {
    if (input.facts.mdbDn.empty()) {
      lines.out() << " - No valid homeMDB value." << EndLine;
      return Outcome::Varnel(-1, " - No valid homeMDB value.");
    }
    const std::string path = BuildAdsPath(host_, input.dn);
    if (lines.debug()) lines.out() << "DEBUG: [" << path << "]" << EndLine;
    Outcome failed;
    const LdapEntry* object =
        BindInterface(lines, path, input.object, RecipientInterface::kMailboxStore,
                      " - No MailBox Move function for this object type.", &failed);
    if (object == nullptr) return failed;
    std::vector<LdapModification> staged;
    if (HResult hr = StageMoveMailbox(*object, input.facts.mdbDn, DatabaseOf(input.facts), &staged);
        hr != kSOk)
      return FailedStep(lines, " - ERROR: (MoveMailBox) ", hr);
    plan->writer = ObjectPlan::Writer::kDirectoryObject;
    plan->dn = object->dn;
    plan->mods = std::move(staged);
    return Outcome::Ok();
  }

  const std::string host_;
};

}  // namespace

std::unique_ptr<Action> MakeMoveMailboxAction(const RunSettings& settings, const GuidSource&) {
  return std::make_unique<MoveMailboxAction>(settings);
}

}  // namespace varnel
