// The second half of a run: open and bind the directory session, read the
// RootDSE, check the Exchange organisation's mode, resolve the run-wide mail
// database, collect the DNs from `dnList` (standard input or the -f file),
// apply the safety limit, begin the run's records and hand everything to the
// processing loop.
#pragma once

#include <istream>

#include "diag/outcome.h"

namespace varnel {

class Reporter;

struct RunEnvironment;
struct RunFiles;
struct RunSettings;

// Returns the run's outcome: a failed start-up, or the processing loop's.
// `listIsFile`: `dnList` reads a regular file, to its end without waiting.
// The files are emptied only once the list has been read: a run refused by
// the safety limit records every item as not processed; one that ends before
// leaves them as they were.
Outcome RunDirectoryStartup(Reporter& reporter, const RunSettings& settings,
                            RunEnvironment& environment, std::istream& dnList, bool listIsFile,
                            RunFiles&& files);

}  // namespace varnel
