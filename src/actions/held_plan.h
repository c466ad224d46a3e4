// The frame every plan function shares: its lines held on a reporter of
// their own, the plan aimed at the item's DN, and what `body` makes of it.
#pragma once

#include "actions/action.h"
#include "diag/held_lines.h"

namespace varnel {

// `body(lines, plan)` fills the plan and returns the item's outcome.
template <typename Body>
ItemPlan HeldPlan(const PlanInput& input, Body body) {
  HeldLines held(input.lines);
  ItemPlan result;
  result.plan.dn = input.dn;
  result.outcome = body(held.reporter(), result.plan);
  result.out = held.out();
  result.err = held.err();
  return result;
}

}  // namespace varnel
