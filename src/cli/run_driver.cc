#include "cli/run_driver.h"

#include <optional>

#include "cli/command_line.h"
#include "cli/run_settings.h"
#include "cli/switch_table.h"

namespace varnel {

int32_t RunVarnel(int argc, char** argv) {
  SwitchTable table(argc, argv, CaseMode::kInsensitive);
  RunSettings settings;
  if (std::optional<int32_t> stop = RunCommandLineStage(&table, &settings)) return *stop;

  // Hand-off: the directory start-up takes `settings` and `table` from here and
  // its status becomes the run's status.
  return 0;
}

}  // namespace varnel
