// The change that puts back what one write of the run left, when a failure
// before it in input order means the run should never have sent it. Made as
// the undo file's records are: for each attribute the write changed, its
// values as the write left them are deleted by value and those the object
// held before are added by value, in one modify, so that the server refuses
// it whole when the object changed since.
#pragma once

#include <vector>

#include "exchange/object_plan.h"

namespace varnel {

// `before` is the object as read for the plan. Empty when the plan changed
// nothing.
std::vector<LdapModification> PutBackModifications(const ObjectPlan& plan, const LdapEntry& before);

}  // namespace varnel
