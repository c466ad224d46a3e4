// The command-line stage of a run: sets the console flags, prints the banner,
// reports a bad command line, shows the usage on request and takes the
// switches over into RunSettings with the one action of the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/run_settings.h"
#include "cli/switch_table.h"

namespace varnel {

// A switch value as a number by the C atoi rule (leading white space, an
// optional sign, decimal digits up to the first other character; no digits
// give 0; out of range clamps to the 32-bit signed limits), kept as the
// unsigned 32-bit value of that integer: "-5" is 4294967291.
uint32_t SwitchNumber(std::string_view value);

// Runs the stage on a table built from the process arguments. Returns the
// exit status when the run ends here (1: bad command line, help, no
// arguments, no action), or nullopt when `settings` stand and the run goes on.
std::optional<int32_t> RunCommandLineStage(SwitchTable* table, RunSettings* settings);

}  // namespace varnel
