// The second half of a run: open and bind the directory session, read the
// RootDSE, check the Exchange organisation's mode, resolve the run-wide mail
// database, collect the DNs, apply the safety limit, start the component
// runtime and hand everything to the processing loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

class SwitchTable;
struct RunEnvironment;
struct RunSettings;

// Returns the run's status (the exit status before mapping).
int32_t RunDirectoryStartup(RunSettings& settings, const SwitchTable& table,
                            const std::vector<std::string>& exchangeAttributes,
                            RunEnvironment& environment);

}  // namespace varnel
