#include "run/write_result.h"

#include "diag/error_texts.h"
#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/ldap_hresult.h"
#include "ldap/ldap_error.h"
#include "ldap/ldif_record.h"

namespace varnel {

Outcome PlanResult(Reporter& reporter, const ObjectPlan& plan, int rc) {
  if (reporter.debug()) reporter.out() << "DEBUG: uErr=" << rc << EndLine;
  if (rc == 0) return Outcome::Ok();
  if (plan.writer == ObjectPlan::Writer::kDirectoryObject)
    return Outcome::HResult(
        PrintAdsError(reporter, " - ERROR: (SetInfo) ", HResultFromLdapCode(rc)));
  if (!reporter.quiet()) LdapReportError(reporter, "", "", rc, nullptr);
  return Outcome::Ldap(rc);
}

std::string PlanAsLdif(const ObjectPlan& plan) {
  if (plan.mods.empty()) return "";
  return LdifModifyRecord(plan.dn, plan.mods, IsBinaryAttribute);
}

}  // namespace varnel
