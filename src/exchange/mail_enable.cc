#include "exchange/mail_enable.h"

#include <vector>

#include "diag/error_texts.h"
#include "diag/reporter.h"
#include "exchange/ads_path.h"
#include "exchange/update_recipient.h"
#include "ldap/search_helpers.h"
#include "text/dual_string.h"

namespace varnel {

std::u16string ChooseTargetAddress(Reporter& reporter, LdapConnection& session,
                                   const RunSettings& settings, const std::string& dn,
                                   const std::string& overrideEmail) {
  DualString target(settings.targetAddress);
  if (settings.keepMail) {
    // A failed or empty read leaves the target as it was.
    std::vector<std::string> mail;
    LdapGetStrList(reporter, session, dn, "(objectclass=*)", "mail", mail);
    if (!mail.empty()) target.AssignNarrow(mail.front());
  }
  if (!overrideEmail.empty()) target.AssignNarrow(overrideEmail);
  std::u16string address = target.Wide();
  if (!address.empty() && address.find(u':') == std::u16string::npos) address = u"SMTP:" + address;
  return address;
}

Outcome PlanMailEnable(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                       const std::string& dn, const std::string& overrideEmail,
                       DirectoryObjectService& service, ObjectPlan* plan) {
  DualString target(ChooseTargetAddress(reporter, session, settings, dn, overrideEmail));
  DualString path(BuildAdsPath(settings.host, dn));
  if (reporter.debug()) {
    reporter.out() << "DEBUG: ADSPATH [" << path.Narrow() << "]" << EndLine;
    reporter.out() << "DEBUG: Email [" << target.Narrow() << "]" << EndLine;
  }

  std::string objectClass;
  {
    DirectoryObjectRef object;
    HResult hr = service.Bind(path.Wide(), &object);
    if (hr != kSOk)
      return Outcome::HResult(PrintAdsError(reporter, " - ERROR: (ADsGetObject) ", hr));

    DirectoryObjectRef recipient;
    hr = service.QueryMailRecipient(object, &recipient);
    if (hr != kSOk) {
      reporter.out() << " - No MailEnable function for this object type." << EndLine;
      return Outcome::HResult(hr);
    }
    hr = service.MailEnable(recipient, target.Wide());
    if (hr != kSOk) return Outcome::HResult(PrintAdsError(reporter, " - ERROR: (MailEnable) ", hr));

    // The class read's code is not looked at: nothing read leaves it empty.
    std::u16string className;
    service.GetClass(object, &className);
    objectClass = DualString(className).Narrow();

    plan->writer = ObjectPlan::Writer::kDirectoryObject;
    hr = service.TakeChanges(object, &plan->dn, &plan->mods);
    if (hr != kSOk) return Outcome::HResult(PrintAdsError(reporter, " - ERROR: (SetInfo) ", hr));
  }  // every reference is released here

  if (reporter.debug()) reporter.out() << "DEBUG: objectclass=" << objectClass << EndLine;
  // Groups keep their own encoding.
  if (objectClass.find("group") == std::string::npos) {
    plan->mods.push_back(
        {LdapModification::Op::kReplace, "internetEncoding", {settings.internetEncoding}});
  }
  return PlanUpdate(reporter, session, plan->dn, settings.update, &plan->mods);
}

}  // namespace varnel
