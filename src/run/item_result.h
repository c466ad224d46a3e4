// How one work item ended, as the item report and the list of lines to run
// again record it.
#pragma once

#include <string>

#include "diag/outcome.h"

namespace varnel {

enum class ItemOutcome { kOk, kFailed, kNotProcessed };

struct ItemResult {
  ItemOutcome outcome = ItemOutcome::kOk;
  std::string storedDn;  // the DN as the directory holds it; empty when not found
  int status = 0;        // the exit status the item alone would give; 0 unless it failed
  std::string message;   // the error's text; empty unless it failed
};

// The result of an item that ended in `outcome`.
ItemResult ResultOf(const Outcome& outcome, std::string storedDn);

// A readable text for a failure: the outcome's own text when it has one,
// otherwise the LDAP library's text or the system's message for the code.
std::string OutcomeMessage(const Outcome& outcome);

}  // namespace varnel
