#include "exchange/mail_enable.h"

#include <iostream>
#include <vector>

#include "diag/console.h"
#include "diag/error_texts.h"
#include "exchange/ads_path.h"
#include "exchange/update_recipient.h"
#include "ldap/attribute_modification.h"
#include "ldap/search_helpers.h"
#include "text/dual_string.h"

namespace varnel {

std::u16string ChooseTargetAddress(LdapConnection& session, const RunSettings& settings,
                                   const std::string& dn, const std::string& overrideEmail,
                                   const SwitchTable& switches) {
  DualString target(settings.targetAddress);
  if (switches.IsPresent("keepmail")) {
    // A failed or empty read leaves the target as it was.
    std::vector<std::string> mail;
    LdapGetStrList(session, dn, "(objectclass=*)", "mail", mail);
    if (!mail.empty()) target.AssignNarrow(mail.front());
  }
  if (!overrideEmail.empty()) target.AssignNarrow(overrideEmail);
  std::u16string address = target.Wide();
  if (!address.empty() && address.find(u':') == std::u16string::npos) address = u"SMTP:" + address;
  return address;
}

int32_t MailEnableDN(LdapConnection& session, const RunSettings& settings, const std::string& dn,
                     const std::string& overrideEmail, const SwitchTable& switches,
                     DirectoryObjectService& service) {
  DualString target(ChooseTargetAddress(session, settings, dn, overrideEmail, switches));
  DualString path(BuildAdsPath(settings.host, dn));
  if (Debug()) {
    std::cout << "DEBUG: ADSPATH [" << path.Narrow() << "]" << EndLine;
    std::cout << "DEBUG: Email [" << target.Narrow() << "]" << EndLine;
  }

  std::string objectClass;
  {
    DirectoryObjectRef object;
    HResult hr = service.Bind(path.Wide(), &object);
    if (hr != kSOk) return PrintAdsError(" - ERROR: (ADsGetObject) ", hr);

    DirectoryObjectRef recipient;
    hr = service.QueryMailRecipient(object, &recipient);
    if (hr != kSOk) {
      std::cout << " - No MailEnable function for this object type." << EndLine;
      return hr;
    }
    hr = service.MailEnable(recipient, target.Wide());
    if (hr != kSOk) return PrintAdsError(" - ERROR: (MailEnable) ", hr);
    hr = service.Save(object);
    if (hr != kSOk) return PrintAdsError(" - ERROR: (SetInfo) ", hr);

    // The class read's code is not looked at: nothing read leaves it empty.
    std::u16string className;
    service.GetClass(object, &className);
    objectClass = DualString(className).Narrow();
  }  // every reference is released here

  if (Debug()) std::cout << "DEBUG: objectclass=" << objectClass << EndLine;
  // Groups keep their own encoding; the write's result never changes the status.
  if (objectClass.find("group") == std::string::npos)
    LdapSetAttr(session, dn, "internetEncoding", settings.internetEncoding);
  return UpdateRecipient(session, dn, switches);
}

}  // namespace varnel
