// How one work item ended, as the item report and the list of lines to run
// again record it.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"

namespace varnel {

// kUnchanged: the object held what the plan would write, so nothing was
// sent; kPlanned: a preview's item that would be written; kUnknown: the
// write went out and its answer was lost with a server that never came back,
// so the object may have changed.
enum class ItemOutcome { kOk, kFailed, kNotProcessed, kUnchanged, kPlanned, kUnknown };

struct ItemResult {
  ItemOutcome outcome = ItemOutcome::kOk;
  std::string storedDn;  // the DN as the directory holds it; empty when not found
  int status = 0;        // the exit status the item alone would give; 0 unless it failed
  std::string message;   // the error's text; empty unless it failed
  std::vector<std::string> changed;  // the attributes the plan changed (or would, in a preview)
  std::string diagnostic;            // the server's diagnostic text for a failure, or ""
  // Not processed, since an earlier item failed; its write had gone out
  // with others and was put back.
  bool rolledBack = false;
};

// An item a stop or a refusal left alone.
inline ItemResult NotProcessed() { return {ItemOutcome::kNotProcessed, "", 0, "", {}, ""}; }

// True for the outcomes that leave the item's line to be run again.
bool ToRunAgain(ItemOutcome outcome);

// The result of an item that ended in `outcome`.
ItemResult ResultOf(const Outcome& outcome, std::string storedDn);

// A readable text for a failure: the outcome's own text when it has one,
// otherwise the LDAP library's text or the system's message for the code.
std::string OutcomeMessage(const Outcome& outcome);

}  // namespace varnel
