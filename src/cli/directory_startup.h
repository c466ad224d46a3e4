// The second half of a run: open and bind the directory session, read the
// RootDSE, check the Exchange organisation's mode, resolve the run-wide mail
// database, collect the DNs from `dnList` (standard input or the -f file),
// apply the safety limit, start the component runtime and hand everything to
// the processing loop.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "diag/outcome.h"

namespace varnel {

class Reporter;

struct RunEnvironment;
struct RunRecords;
struct RunSettings;

// Returns the run's outcome: a failed start-up, or the processing loop's.
Outcome RunDirectoryStartup(Reporter& reporter, RunSettings& settings,
                            const std::vector<std::string>& exchangeAttributes,
                            RunEnvironment& environment, std::istream& dnList, RunRecords& records);

}  // namespace varnel
