#include "exchange/mailbox_actions.h"

#include "diag/error_texts.h"
#include "diag/reporter.h"
#include "exchange/ads_path.h"
#include "exchange/update_recipient.h"
#include "text/dual_string.h"

namespace varnel {
namespace {

enum class MailboxStep { kCreate, kMove };

Outcome Failed(Reporter& reporter, const char* prefix, HResult hr) {
  return Outcome::HResult(PrintAdsError(reporter, prefix, hr));
}

// Binds, queries the mailbox interface, runs the step and takes the staged
// changes into *plan. Every reference is released before it returns.
Outcome PlanMailboxStep(Reporter& reporter, MailboxStep step, const RunSettings& settings,
                        const std::string& dn, const std::string& overrideMdb,
                        DirectoryObjectService& service, ObjectPlan* plan) {
  DualString mdb(overrideMdb.empty() ? settings.homeMdbDn : overrideMdb);
  if (mdb.Wide().empty()) {
    reporter.out() << " - No valid homeMDB value." << EndLine;
    return Outcome::Varnel(-1, " - No valid homeMDB value.");
  }
  DualString path(BuildAdsPath(settings.host, dn));
  if (reporter.debug()) reporter.out() << "DEBUG: [" << path.Narrow() << "]" << EndLine;

  DirectoryObjectRef object;
  HResult hr = service.Bind(path.Wide(), &object);
  if (hr != kSOk) return Failed(reporter, " - ERROR: (ADsGetObject) ", hr);

  DirectoryObjectRef mailboxStore;
  hr = service.QueryMailboxStore(object, &mailboxStore);
  if (hr != kSOk) {
    reporter.out() << (step == MailboxStep::kCreate
                           ? " - No MailBox Create function for this object type."
                           : " - No MailBox Move function for this object type.")
                   << EndLine;
    return Outcome::HResult(hr);
  }

  if (step == MailboxStep::kCreate) {
    hr = service.CreateMailbox(mailboxStore, mdb.Wide());
    if (hr != kSOk) return Failed(reporter, " - ERROR: (CreateMailBox) ", hr);
  } else {
    hr = service.MoveMailbox(mailboxStore, mdb.Wide());
    if (hr != kSOk) return Failed(reporter, " - ERROR: (MoveMailBox) ", hr);
  }
  plan->writer = ObjectPlan::Writer::kDirectoryObject;
  hr = service.TakeChanges(object, &plan->dn, &plan->mods);
  if (hr != kSOk) return Failed(reporter, " - ERROR: (SetInfo) ", hr);
  return Outcome::Ok();
}

}  // namespace

Outcome PlanCreateMailbox(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                          const std::string& dn, const std::string& overrideMdb,
                          DirectoryObjectService& service, ObjectPlan* plan) {
  const Outcome outcome =
      PlanMailboxStep(reporter, MailboxStep::kCreate, settings, dn, overrideMdb, service, plan);
  if (!outcome.ok()) return outcome;
  // The new mailbox takes the quota and address-list settings of the run.
  return PlanUpdate(reporter, session, plan->dn, settings.update, &plan->mods);
}

Outcome PlanMoveMailbox(Reporter& reporter, const RunSettings& settings, const std::string& dn,
                        const std::string& overrideMdb, DirectoryObjectService& service,
                        ObjectPlan* plan) {
  return PlanMailboxStep(reporter, MailboxStep::kMove, settings, dn, overrideMdb, service, plan);
}

}  // namespace varnel
