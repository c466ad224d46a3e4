#include "exchange/mailbox_actions.h"

#include <iostream>

#include "diag/console.h"
#include "diag/error_texts.h"
#include "exchange/ads_path.h"
#include "exchange/update_recipient.h"
#include "text/dual_string.h"

namespace varnel {
namespace {

enum class MailboxStep { kCreate, kMove };

// Binds, queries the mailbox interface, runs the step and saves. Every
// reference is released before it returns. Returns 0, -1 or the failed code.
int32_t RunMailboxStep(MailboxStep step, const RunSettings& settings, const std::string& dn,
                       const std::string& overrideMdb, DirectoryObjectService& service) {
  DualString mdb(overrideMdb.empty() ? settings.homeMdbDn : overrideMdb);
  if (mdb.Wide().empty()) {
    std::cout << " - No valid homeMDB value." << EndLine;
    return -1;
  }
  DualString path(BuildAdsPath(settings.host, dn));
  if (Debug()) std::cout << "DEBUG: [" << path.Narrow() << "]" << EndLine;

  DirectoryObjectRef object;
  HResult hr = service.Bind(path.Wide(), &object);
  if (hr != kSOk) return PrintAdsError(" - ERROR: (ADsGetObject) ", hr);

  DirectoryObjectRef mailboxStore;
  hr = service.QueryMailboxStore(object, &mailboxStore);
  if (hr != kSOk) {
    std::cout << (step == MailboxStep::kCreate
                      ? " - No MailBox Create function for this object type."
                      : " - No MailBox Move function for this object type.")
              << EndLine;
    return hr;
  }

  if (step == MailboxStep::kCreate) {
    hr = service.CreateMailbox(mailboxStore, mdb.Wide());
    if (hr != kSOk) return PrintAdsError(" - ERROR: (CreateMailBox) ", hr);
  } else {
    hr = service.MoveMailbox(mailboxStore, mdb.Wide());
    if (hr != kSOk) return PrintAdsError(" - ERROR: (MoveMailBox) ", hr);
  }
  hr = service.Save(object);
  if (hr != kSOk) return PrintAdsError(" - ERROR: (SetInfo) ", hr);
  return 0;
}

}  // namespace

int32_t CreateDNMailbox(LdapConnection& session, const RunSettings& settings, const std::string& dn,
                        const std::string& overrideMdb, const SwitchTable& switches,
                        DirectoryObjectService& service) {
  const int32_t status = RunMailboxStep(MailboxStep::kCreate, settings, dn, overrideMdb, service);
  if (status != 0) return status;
  // The new mailbox takes the quota and address-list settings of the run.
  return UpdateRecipient(session, dn, switches);
}

int32_t MoveDNMailbox(const RunSettings& settings, const std::string& dn,
                      const std::string& overrideMdb, DirectoryObjectService& service) {
  return RunMailboxStep(MailboxStep::kMove, settings, dn, overrideMdb, service);
}

}  // namespace varnel
