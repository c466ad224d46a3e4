// The command-line stage of a run: sets the console flags, prints the banner,
// reports a bad command line, shows the usage on request and takes the
// switches over into RunSettings with the one action of the run.
#pragma once

#include "cli/switch_table.h"
#include "diag/outcome.h"
#include "exchange/run_settings.h"

namespace varnel {

class Reporter;

// How a run ends that its command line, or a file or server the command line
// names, does not let start: exit status 1.
inline Outcome CommandLineStop() { return Outcome::Varnel(1, "bad command line"); }

// Runs the stage on a table built from the process arguments. Returns ok
// when `settings` stand and the run goes on; otherwise CommandLineStop()
// after the lines that say why (a bad command line, a bad value, help, no
// arguments, no action).
Outcome RunCommandLineStage(Reporter& reporter, SwitchTable* table, RunSettings* settings);

}  // namespace varnel
