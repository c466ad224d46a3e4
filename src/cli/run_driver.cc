#include "cli/run_driver.h"

#include <fstream>
#include <iostream>
#include <optional>

#include "cli/command_line.h"
#include "cli/directory_startup.h"
#include "cli/run_environment.h"
#include "cli/run_files.h"
#include "cli/switch_specs.h"
#include "cli/switch_table.h"
#include "cli/usage_text.h"
#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/ldap_directory_object_service.h"
#include "exchange/run_records.h"
#include "exchange/run_settings.h"
#include "ldap/openldap_connection.h"
#include "platform/standard_streams.h"
#include "platform/tick_counter.h"

namespace varnel {

int RunVarnel(int argc, char** argv, RunEnvironment& environment) {
  Reporter reporter(std::cout, std::cerr);
  // The GNU-style requests answer on standard output and succeed, whatever
  // else the command line holds.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help") {
      PrintUsage(reporter.out());
      return 0;
    }
    if (std::string_view(argv[i]) == "--version") {
      PrintVersion(reporter.out());
      return 0;
    }
  }
  const std::vector<std::string>& exchangeAttributes = ExchangeAttributeList();
  SwitchTable table(argc, argv, CaseMode::kInsensitive, kPathSwitches);
  // A preview's standard output is an LDIF file from its first line on.
  if (table.IsPresent("whatif")) reporter.CommentOutput();
  RunSettings settings;
  if (std::optional<int32_t> stop = RunCommandLineStage(reporter, &table, &settings)) return *stop;
  std::ifstream dnFile;
  if (std::optional<int32_t> stop = OpenDnList(reporter, settings, &dnFile)) return *stop;
  RunRecords records;
  if (std::optional<int32_t> stop = OpenRunRecords(reporter, settings, &records)) return *stop;
  std::istream& dnList = settings.dnListPath.empty() ? environment.input : dnFile;
  return ExitStatus(
      RunDirectoryStartup(reporter, settings, exchangeAttributes, environment, dnList, records));
}

int RunVarnel(int argc, char** argv) {
  OpenLdapConnector connector;
  LdapDirectoryObjectService objectService(connector);
  RunEnvironment environment{connector,
                             std::cin,
                             objectService,
                             SystemTickCounter(),
                             StandardErrorIsTerminal(),
                             StandardInputIsTerminal()};
  return RunVarnel(argc, argv, environment);
}

}  // namespace varnel
