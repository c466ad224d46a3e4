// The first steps of the mailbox and mail-enable actions, as the directory
// object interfaces take them: the object bound by its ADsPath (the run's
// server and the DN) from the one read, then the interface the action needs,
// and the error line of a failed step.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "actions/action.h"
#include "diag/outcome.h"
#include "exchange/hresult.h"
#include "exchange/recipient_rules.h"

namespace varnel {

class ItemLines;

// Binds the object at `adsPath` and asks it for the interface `kind`; ok
// when `object.entry` offers it. A path that does not parse or an object the
// read did not find fails as binding does (" - ERROR: (ADsGetObject) " and
// the code), an object without the interface with `noInterfaceLine` (status
// 65 when the object is no recipient at all).
Outcome BindInterface(ItemLines& lines, const std::string& adsPath, const ObjectRead& object,
                      RecipientInterface kind, const char* noInterfaceLine);

// The first steps of the mailbox actions: the item's mail database (" - No
// valid homeMDB value." without one), then the object bound as a mailbox
// owner at the run's server; ok when `input.object.entry` is one.
Outcome BindMailboxOwner(ItemLines& lines, const std::string& host, const PlanInput& input,
                         const char* noInterfaceLine);

// Adds `prefix` and the error line of `failed` (a directory object code);
// returns `failed`, the outcome of the step.
Outcome FailedStep(ItemLines& lines, const char* prefix, Outcome failed);

// The plan of a directory object's save: the staged changes, sent to the
// object's stored DN.
void TakeStaged(const LdapEntry& object, std::vector<LdapModification> staged, ObjectPlan* plan);

// The mailbox actions' change: the owner bound as BindMailboxOwner does, then
// `stage(object, &staged)` (an Outcome) staged into *plan; a failed stage is
// shown with `failedPrefix`.
template <typename Stage>
Outcome PlanMailboxChange(ItemLines& lines, const std::string& host, const PlanInput& input,
                          const char* noInterfaceLine, const char* failedPrefix, ObjectPlan* plan,
                          Stage stage) {
  if (Outcome bound = BindMailboxOwner(lines, host, input, noInterfaceLine); !bound.ok())
    return bound;
  const LdapEntry& object = input.object.entry;
  std::vector<LdapModification> staged;
  if (Outcome staging = stage(object, &staged); !staging.ok())
    return FailedStep(lines, failedPrefix, std::move(staging));
  TakeStaged(object, std::move(staged), plan);
  return Outcome::Ok();
}

// The facts of the item's database, or facts that fail every step when none
// were read.
const DatabaseFacts& DatabaseOf(const PlanFacts& facts);

}  // namespace varnel
