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
#include "exchange/run_settings.h"
#include "ldap/openldap_connection.h"
#include "platform/posix_file_system.h"
#include "platform/random_bytes.h"
#include "platform/standard_streams.h"
#include "platform/tick_counter.h"
#include "run/run_records.h"

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
  ExchangeAttributeList();  // built once, before any item is planned
  SwitchTable table(argc, argv, CaseMode::kInsensitive, kPathSwitches);
  // A preview's standard output is an LDIF file from its first line on.
  if (table.IsPresent("whatif")) reporter.CommentOutput();
  RunSettings settings;
  if (std::optional<int32_t> stop = RunCommandLineStage(reporter, &table, &settings)) return *stop;
  std::ifstream dnFile;
  if (std::optional<int32_t> stop = OpenDnList(reporter, settings, &dnFile)) return *stop;
  // The list's own file may be named by no record file either.
  const std::optional<FileIdentity> listFile =
      settings.dnListPath.empty() ? environment.inputFile : PathIdentity(settings.dnListPath);
  RunFiles files;
  if (std::optional<int32_t> stop =
          OpenRunFiles(reporter, settings, environment.files, listFile, &files))
    return *stop;
  std::istream& dnList = settings.dnListPath.empty() ? environment.input : dnFile;
  return ExitStatus(RunDirectoryStartup(reporter, settings, environment, dnList, std::move(files)));
}

int RunVarnel(int argc, char** argv) {
  OpenLdapConnector connector;
  RunEnvironment environment{.connector = connector,
                             .input = std::cin,
                             .guids = FillRandomBytes,
                             .ticks = SystemTickCounter(),
                             .files = SystemFileSystem(),
                             .errorIsTerminal = StandardErrorIsTerminal(),
                             .outputIsTerminal = StandardOutputIsTerminal(),
                             .inputIsTerminal = StandardInputIsTerminal(),
                             .inputFile = DescriptorIdentity(0)};
  return RunVarnel(argc, argv, environment);
}

}  // namespace varnel
