// The processing of a run's work items: the action's banner, the items
// (item_pipeline.h), then the closing summary and the run's outcome.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/outcome.h"

namespace varnel {

class Reporter;

class DirectoryObjectService;
class LdapConnection;
class TickCounter;
struct RunRecords;
struct RunSettings;
struct WorkList;

// Looks up each item's DN as the directory stores it when the item's turn
// comes. With -whatif each plan is written as an LDIF record after its
// progress line instead of being sent; `records` hears how every item ended,
// items a stop rule left alone included. Returns the outcome of the last
// failed item; else, when input lines were skipped, the tool's -1; else
// success.
Outcome ProcessWorkItems(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks,
                         RunRecords& records);

}  // namespace varnel
