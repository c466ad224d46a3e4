// What becomes of a plan once the loop has it: the outcome and error line of
// its modify request, and the plan as an LDIF change record for a preview.
#pragma once

#include <string>

#include "diag/outcome.h"
#include "exchange/object_plan.h"

namespace varnel {

class ItemLines;

// The outcome of a sent plan whose request ended in `rc`, with the writer's
// error line added to the item's lines: for a directory object's save
// " - ERROR: (SetInfo) " and the mapped code, for a plain modify the LDAP
// error line unless quiet; and the "DEBUG: uErr=" trace.
Outcome PlanResult(ItemLines& lines, const ObjectPlan& plan, int rc);

// The plan as an LDIF change record (RFC 2849): exactly the request that is
// sent. Empty for an empty plan.
std::string PlanAsLdif(const ObjectPlan& plan);

}  // namespace varnel
