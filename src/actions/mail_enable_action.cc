// -me: a group, contact or user becomes a mail recipient with an external
// target address (the run's, the object's own mail with -keepmail, or the
// line's); non-groups also get the run's internetEncoding, and the update of
// quotas and address-list visibility joins the same request.
#include "actions/action_list.h"
#include "actions/directory_object_step.h"
#include "actions/held_plan.h"
#include "actions/update_plan.h"
#include "exchange/ads_path.h"
#include "ldap/ldap_error.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

class MailEnableAction : public Action {
 public:
  explicit MailEnableAction(const RunSettings& settings)
      : host_(settings.host),
        targetAddress_(settings.targetAddress),
        keepMail_(settings.keepMail),
        internetEncoding_(settings.internetEncoding),
        update_(settings.update) {}

  const char* Banner() const override { return "Mail Enabling Objects..."; }
  const char* Name() const override { return "me"; }

  std::vector<std::string> Attributes() const override {
    std::vector<std::string> names = RecipientRuleAttributes();
    for (const char* name : {"reportToOriginator", "mAPIRecipient", "internetEncoding"})
      names.push_back(name);
    for (std::string& name : UpdateAttributes(update_)) names.push_back(std::move(name));
    return names;
  }

  Needs FactsNeeded() const override { return Needs::kOrganisation; }
  LineOverride Override() const override { return LineOverride::kAddress; }

  ItemPlan Plan(const PlanInput& input) const override {
    return HeldPlan(input, [&](ItemLines& lines, ObjectPlan& plan) {
      return PlanMailEnable(lines, input, &plan);
    });
  }

 private:
  // The run's address, replaced by the object's first mail value with
  // -keepmail, replaced by the line's; "SMTP:" put in front of an address
  // without any ":".
  std::string TargetAddress(ItemLines& lines, const PlanInput& input) const {
    std::string target = targetAddress_;
    if (keepMail_) {
      lines.Trace("DEBUG: LdapGetStrList:");
      lines.Trace("DEBUG       Base  : " + input.dn);
      lines.Trace("DEBUG       Filter: (objectclass=*)");
      lines.Trace("DEBUG       Attrib: mail");
      // An object that cannot be read leaves the target as it was.
      if (!input.object.found()) {
        lines.Err(SearchErrorText(input.object.rc));
      } else {
        lines.Trace("DEBUG: Count: 1");
        if (std::string mail = FirstValue(input.object.entry, "mail"); !mail.empty()) target = mail;
      }
    }
    if (!input.item.overrideText.empty()) target = input.item.overrideText;
    if (!target.empty() && target.find(':') == std::string::npos) target = "SMTP:" + target;
    return target;
  }

  Outcome PlanMailEnable(ItemLines& lines, const PlanInput& input, ObjectPlan* plan) const {
    // A line's address that holds a control character (a line feed would
    // become part of targetAddress) is no address.
    if (HasControlCharacter(input.item.overrideText))
      return FailedStep(lines, " - ERROR: (MailEnable) ", Outcome::HResult(kEAdsBadParameter));
    const std::string target = TargetAddress(lines, input);
    const std::string path = BuildAdsPath(host_, input.dn);
    lines.Trace("DEBUG: ADSPATH [" + path + "]");
    lines.Trace("DEBUG: Email [" + target + "]");
    if (Outcome bound = BindInterface(lines, path, input.object, RecipientInterface::kMailRecipient,
                                      " - No MailEnable function for this object type.");
        !bound.ok())
      return bound;
    const LdapEntry& object = input.object.entry;
    static const OrganisationFacts kUnread{Outcome::HResult(kEFail), {}};
    std::vector<LdapModification> staged;
    if (Outcome staging = StageMailEnable(
            object, target, input.facts.organisation ? *input.facts.organisation : kUnread,
            &staged);
        !staging.ok())
      return FailedStep(lines, " - ERROR: (MailEnable) ", std::move(staging));
    TakeStaged(object, std::move(staged), plan);

    const std::string objectClass = MostSpecificClass(object);
    lines.Trace("DEBUG: objectclass=" + objectClass);
    // Groups keep their own encoding.
    if (objectClass.find("group") == std::string::npos)
      plan->mods.push_back(
          {LdapModification::Op::kReplace, "internetEncoding", {internetEncoding_}});
    return AppendUpdate(lines, plan->dn, update_, input.object, &plan->mods);
  }

  const std::string host_;
  const std::string targetAddress_;
  const bool keepMail_;
  const std::string internetEncoding_;
  const UpdateOptions update_;
};

}  // namespace

std::unique_ptr<Action> MakeMailEnableAction(const RunSettings& settings, const StartupFacts&,
                                             const GuidSource&) {
  return std::make_unique<MailEnableAction>(settings);
}

}  // namespace varnel
