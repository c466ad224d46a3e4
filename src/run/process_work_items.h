// The processing of a run's work items: the action's banner, the items
// (item_pipeline.h), then the closing summary and the run's outcome.
#pragma once

#include <cstdint>
#include <functional>

#include "diag/outcome.h"

namespace varnel {

class Action;
class Reporter;
class RequestChannel;
class RunFacts;
class StopRequest;
class TickCounter;
struct RunRecords;
struct RunSettings;
struct WorkList;

// Reads each object once, plans it with `action` and sends its change on
// `channel`; the run's shared facts come from `facts`. With -whatif each plan is written as an LDIF
// record after its progress line instead of being sent; `records` hears how every item ended, items
// a stop rule left alone included. Returns the outcome of the last failed item; else, when input
// lines were skipped, the tool's -1; else success. `pause` waits so many
// milliseconds.
Outcome ProcessWorkItems(Reporter& reporter, RequestChannel& channel, RunFacts& facts,
                         const Action& action, const RunSettings& settings, const WorkList& work,
                         const TickCounter& ticks, RunRecords& records, const StopRequest& stop,
                         const std::function<void(uint32_t)>& pause);

}  // namespace varnel
