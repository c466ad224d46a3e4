// The frame every plan function shares: the lines it adds, the plan aimed at
// the item's DN, and what `body` makes of it.
#pragma once

#include "actions/action.h"
#include "diag/item_lines.h"

namespace varnel {

// `body(lines, plan)` fills the plan and returns the item's outcome.
template <typename Body>
ItemPlan HeldPlan(const PlanInput& input, Body body) {
  ItemLines lines;
  lines.debug = input.debug;
  ItemPlan result;
  result.plan.dn = input.dn;
  result.outcome = body(lines, result.plan);
  result.out = lines.out();
  result.err = lines.err();
  return result;
}

}  // namespace varnel
