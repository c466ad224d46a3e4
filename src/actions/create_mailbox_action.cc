// -cr: a mailbox created in the line's or the run's mail database, with the
// run's quotas and address-list visibility in the same request.
#include "actions/action_list.h"
#include "actions/directory_object_step.h"
#include "actions/update_plan.h"
#include "diag/held_lines.h"
#include "exchange/ads_path.h"

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
    HeldLines held(input.lines);
    ItemPlan result;
    result.plan.dn = input.dn;
    result.outcome = PlanCreate(held.reporter(), input, &result.plan);
    // The new mailbox takes the quota and address-list settings of the run.
    if (result.outcome.ok())
      result.outcome =
          AppendUpdate(held.reporter(), result.plan.dn, update_, input.object, &result.plan.mods);
    result.out = held.out();
    result.err = held.err();
    return result;
  }

 private:
  Outcome PlanCreate(Reporter& lines, const PlanInput& input, ObjectPlan* plan) const {
    if (input.facts.mdbDn.empty()) {
      lines.out() << " - No valid homeMDB value." << EndLine;
      return Outcome::Varnel(-1, " - No valid homeMDB value.");
    }
    const std::string path = BuildAdsPath(host_, input.dn);
    if (lines.debug()) lines.out() << "DEBUG: [" << path << "]" << EndLine;
    Outcome failed;
    const LdapEntry* object =
        BindInterface(lines, path, input.object, RecipientInterface::kMailboxStore,
                      " - No MailBox Create function for this object type.", &failed);
    if (object == nullptr) return failed;
    std::vector<LdapModification> staged;
    if (HResult hr = StageCreateMailbox(*object, DatabaseOf(input.facts), guids_, &staged);
        hr != kSOk)
      return FailedStep(lines, " - ERROR: (CreateMailBox) ", hr);
    plan->writer = ObjectPlan::Writer::kDirectoryObject;
    plan->dn = object->dn;
    plan->mods = std::move(staged);
    return Outcome::Ok();
  }

  const std::string host_;
  const UpdateOptions update_;
  const GuidSource guids_;
};

}  // namespace

std::unique_ptr<Action> MakeCreateMailboxAction(const RunSettings& settings,
                                                const GuidSource& guids) {
  return std::make_unique<CreateMailboxAction>(settings, guids);
}

}  // namespace varnel
