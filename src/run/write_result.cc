#include "run/write_result.h"

#include "diag/error_texts.h"
#include "diag/item_lines.h"
#include "exchange/exchange_attributes.h"
#include "exchange/ldap_hresult.h"
#include "ldap/ldap_error.h"
#include "ldap/ldif_record.h"

namespace varnel {

Outcome PlanResult(ItemLines& lines, const ObjectPlan& plan, int rc) {
  lines.Trace("DEBUG: uErr=" + std::to_string(rc));
  if (rc == 0) return Outcome::Ok();
  if (plan.writer == ObjectPlan::Writer::kDirectoryObject)
    return AddAdsError(lines, " - ERROR: (SetInfo) ", Outcome::HResult(HResultFromLdapCode(rc)));
  if (!lines.quiet) lines.Err(LdapErrorLines("", "", rc));
  return Outcome::Ldap(rc);
}

std::string PlanAsLdif(const ObjectPlan& plan) {
  if (plan.mods.empty()) return "";
  return LdifModifyRecord(plan.dn, plan.mods, IsBinaryAttribute);
}

}  // namespace varnel
