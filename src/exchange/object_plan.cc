#include "exchange/object_plan.h"

#include <iostream>

#include "diag/console.h"
#include "diag/error_texts.h"
#include "exchange/ldap_hresult.h"
#include "ldap/ldap_error.h"

namespace varnel {

Outcome SendPlan(LdapConnection& session, const ObjectPlan& plan) {
  if (plan.mods.empty()) return Outcome::Ok();
  const int rc = session.Modify(plan.dn, plan.mods);
  if (Debug()) std::cout << "DEBUG: uErr=" << rc << EndLine;
  if (rc == 0) return Outcome::Ok();
  if (plan.writer == ObjectPlan::Writer::kDirectoryObject)
    return Outcome::HResult(PrintAdsError(" - ERROR: (SetInfo) ", HResultFromLdapCode(rc)));
  if (!Quiet()) LdapReportError("", "", rc, nullptr);
  return Outcome::Ldap(rc);
}

}  // namespace varnel
