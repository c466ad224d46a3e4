#include "actions/directory_object_step.h"

#include "diag/error_texts.h"
#include "diag/item_lines.h"
#include "exchange/ads_path.h"
#include "exchange/ldap_hresult.h"
#include "ldap/result_codes.h"

namespace varnel {

Outcome BindInterface(ItemLines& lines, const std::string& adsPath, const ObjectRead& object,
                      RecipientInterface kind, const char* noInterfaceLine) {
  Outcome bound = CheckAdsPath(adsPath);
  if (bound.ok() && !object.found()) bound = Outcome::HResult(HResultFromLdapCode(object.rc));
  if (!bound.ok()) return FailedStep(lines, " - ERROR: (ADsGetObject) ", std::move(bound));
  if (!OffersInterface(object.entry, kind)) {
    lines.Out(noInterfaceLine);
    // An object that is no recipient at all fails as it does in every other
    // action; a recipient of another kind lacks only this interface.
    return IsRecipientObject(object.entry) ? Outcome::HResult(kENoInterface)
                                           : Outcome::Ldap(kLdapObjectClassViolation);
  }
  return Outcome::Ok();
}

Outcome BindMailboxOwner(ItemLines& lines, const std::string& host, const PlanInput& input,
                         const char* noInterfaceLine) {
  if (input.facts.mdbDn.empty()) {
    lines.Out(" - No valid homeMDB value.");
    return Outcome::Varnel(-1, " - No valid homeMDB value.");
  }
  const std::string path = BuildAdsPath(host, input.dn);
  lines.Trace("DEBUG: [" + path + "]");
  return BindInterface(lines, path, input.object, RecipientInterface::kMailboxStore,
                       noInterfaceLine);
}

void TakeStaged(const LdapEntry& object, std::vector<LdapModification> staged, ObjectPlan* plan) {
  plan->writer = ObjectPlan::Writer::kDirectoryObject;
  plan->dn = object.dn;
  plan->mods = std::move(staged);
}

Outcome FailedStep(ItemLines& lines, const char* prefix, Outcome failed) {
  return AddAdsError(lines, prefix, std::move(failed));
}

const DatabaseFacts& DatabaseOf(const PlanFacts& facts) {
  static const DatabaseFacts kUnread{Outcome::HResult(kEFail), {}, Outcome::HResult(kEFail), {}};
  return facts.database != nullptr ? *facts.database : kUnread;
}

}  // namespace varnel
