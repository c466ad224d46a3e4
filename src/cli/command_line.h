// The command-line stage of a run: sets the console flags, prints the banner,
// reports a bad command line, shows the usage on request and takes the
// switches over into RunSettings with the one action of the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/switch_table.h"
#include "exchange/run_settings.h"

namespace varnel {

class Reporter;

// Runs the stage on a table built from the process arguments. Returns the
// exit status when the run ends here (1: bad command line, a bad value,
// help, no arguments, no action), or nullopt when `settings` stand and the run goes on.
std::optional<int32_t> RunCommandLineStage(Reporter& reporter, SwitchTable* table,
                                           RunSettings* settings);

}  // namespace varnel
