// The processing loop of a run: every work item read once, planned without
// the network, written once and shown, with the reads and writes of many
// objects in flight on the request channel, up to -window. The stop rules
// (-upto, a failure without -cont) hold exactly as with one request at a
// time; two items that name the same object are never in flight together,
// and the later one is planned from what the earlier one left; an undo
// record is on disk before its write goes out; each item's lines are held
// until every item before it has been shown, so output, files and exit
// status do not depend on the window or on the order answers come in. An
// answer lost with the connection sends its item back to its read; a server
// that stays away ends the run. Without -window the number in flight is
// found from the answers (adaptive_window.h). A busy or unavailable answer
// is the server's load, not the object's fault: its request is sent again
// after a pause, within the retry window of a lost connection, and only
// then does the item fail with that code. -rate spaces the items' starts.
// The loop drives the requests; what may go out next is send_rules.h, a
// lost answer or a put-back after a failure item_recovery.h, the output in
// input order in_order_output.h and -whatif's plans item_preview.h.
#pragma once

#include <cstdint>
#include <functional>

#include "diag/outcome.h"

namespace varnel {

class Action;
class Reporter;
class StopRequest;
class RequestChannel;
class RunFacts;
class TickCounter;
struct RunRecords;
struct RunSettings;
struct WorkList;

struct RunTally {
  uint32_t processed = 0;
  uint32_t successful = 0;
  uint32_t errors = 0;
  Outcome lastError;
};

// Runs every item of `work`; `records` hears how each ended, items a stop
// rule left alone included. When `stop` asks, nothing more is sent: the
// answers on their way are waited for (kStopWaitMs from the signal at most)
// and recorded, a write still unanswered then is unknown, and the run's
// outcome is 128 + the signal. A signal that comes once every item has
// ended changes nothing. `pause` waits so many milliseconds (before a
// request the server turned away goes out again, or -rate lets an item start).
RunTally RunItemPipeline(Reporter& reporter, RequestChannel& channel, RunFacts& facts,
                         const Action& action, const RunSettings& settings, const WorkList& work,
                         const TickCounter& ticks, RunRecords& records, const StopRequest& stop,
                         const std::function<void(uint32_t)>& pause);

}  // namespace varnel
