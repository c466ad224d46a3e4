// The processing loop of a run: every work item looked up, planned, written
// and shown, with up to -window requests outstanding on the one session. The
// stop rules (-upto, a failure without -cont) hold exactly as with one
// request at a time; two items that name the same object are never in flight
// together; each item's lines are held until every item before it has been
// shown, so output, files and exit status do not depend on the window. An
// answer lost with the connection makes its item be read and planned anew;
// a server that stays away ends the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diag/outcome.h"

namespace varnel {

class DirectoryObjectService;
class LdapConnection;
class Reporter;
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
// rule left alone included.
RunTally RunItemPipeline(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks,
                         RunRecords& records);

}  // namespace varnel
