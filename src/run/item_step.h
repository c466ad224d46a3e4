// One item's plan as the loop makes it: its progress line, the field after
// its DN (a line's mail database is resolved here, through the run's facts),
// the facts its action needs, then the action's plan function. The only
// reads are of facts not yet kept; nothing is written.
#pragma once

#include "actions/action.h"

namespace varnel {

class ItemLines;
class RunFacts;

// Plans `item` from `object`, its one read. A line's database that does not
// resolve fails the item (32); it never falls back to the run's. The item's
// lines, the plan's among them, are added to `lines`; the returned plan holds
// none.
ItemPlan PlanWorkItem(ItemLines& lines, RunFacts& facts, const Action& action, const WorkItem& item,
                      const ObjectRead& object);

// The one read of an item's object: a base search of `dn` for the action's
// attributes.
LdapSearchRequest ObjectReadRequest(const Action& action, const std::string& dn);

// Reads the facts that every found item of the run needs (the run's own
// database, or the organisation's), so that the loop can do it while the
// first reads are on their way instead of stopping at the first plan.
void ReadFactsAhead(RunFacts& facts, const Action& action);

}  // namespace varnel
