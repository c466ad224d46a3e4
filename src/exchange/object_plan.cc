#include "exchange/object_plan.h"

#include "diag/error_texts.h"
#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/ldap_hresult.h"
#include "ldap/ldap_error.h"
#include "ldap/ldif_record.h"
#include "ldap/result_codes.h"

namespace varnel {

Outcome SendPlan(Reporter& reporter, LdapConnection& session, const ObjectPlan& plan) {
  if (plan.mods.empty()) return Outcome::Ok();
  return PlanResult(reporter, plan, session.Modify(plan.dn, plan.mods));
}

Outcome PlanResult(Reporter& reporter, const ObjectPlan& plan, int rc) {
  if (reporter.debug()) reporter.out() << "DEBUG: uErr=" << rc << EndLine;
  if (rc == 0) return Outcome::Ok();
  if (plan.writer == ObjectPlan::Writer::kDirectoryObject)
    return Outcome::HResult(
        PrintAdsError(reporter, " - ERROR: (SetInfo) ", HResultFromLdapCode(rc)));
  if (!reporter.quiet()) LdapReportError(reporter, "", "", rc, nullptr);
  return Outcome::Ldap(rc);
}

bool MayHaveLanded(int resultCode) {
  return resultCode == kLdapServerDown || resultCode == kLdapLocalError ||
         resultCode == kLdapTimeout;
}

std::string PlanAsLdif(const ObjectPlan& plan) {
  if (plan.mods.empty()) return "";
  return LdifModifyRecord(plan.dn, plan.mods, IsBinaryAttribute);
}

}  // namespace varnel
