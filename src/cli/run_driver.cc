#include "cli/run_driver.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <system_error>

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
#include "ldap/kerberos_ticket.h"
#include "ldap/openldap_connection.h"
#include "ldap/openldap_dc_network.h"
#include "ldap/sasl_settings.h"
#include "platform/descriptor_stream.h"
#include "platform/posix_file_system.h"
#include "platform/random_bytes.h"
#include "platform/standard_streams.h"
#include "platform/stop_request.h"
#include "platform/tick_counter.h"
#include "run/run_records.h"

namespace varnel {
namespace {

// A run whose output was lost ends as one whose record file failed: what it
// did is not all on record.
const Outcome kLostOutput = Outcome::Varnel(-1);

Outcome RunWith(Reporter& reporter, int argc, char** argv, RunEnvironment& environment) {
  // The GNU-style requests answer on standard output and succeed, whatever
  // else the command line holds.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help") {
      PrintUsage(reporter.out());
      return Outcome::Ok();
    }
    if (std::string_view(argv[i]) == "--version") {
      PrintVersion(reporter.out());
      return Outcome::Ok();
    }
  }
  ExchangeAttributeList();  // built once, before any item is planned
  SwitchTable table(argc, argv, kPathSwitches);
  // A preview's standard output is an LDIF file from its first line on.
  if (table.IsPresent("whatif")) reporter.CommentOutput();
  RunSettings settings;
  if (Outcome stage = RunCommandLineStage(reporter, &table, &settings); !stage.ok()) return stage;
  DnListFile dnFile;
  if (Outcome opened = OpenDnList(reporter, settings, &dnFile); !opened.ok()) return opened;
  // The list's own file may be named by no record file either.
  const std::optional<FileIdentity> listFile =
      settings.dnListPath.empty() ? environment.inputFile : PathIdentity(settings.dnListPath);
  RunFiles files;
  if (Outcome opened = OpenRunFiles(reporter, settings, environment.files, listFile, &files);
      !opened.ok())
    return opened;
  std::istream& dnList = settings.dnListPath.empty() ? environment.input : dnFile.stream();
  const bool listIsFile = settings.dnListPath.empty() ? environment.inputIsFile : dnFile.regular();
  return RunDirectoryStartup(reporter, settings, environment, dnList, listIsFile, std::move(files));
}

// After the run: a stream that could not be written makes the outcome, with
// one line saying so on the other stream while that one still works. The
// one place a run's outcome becomes the process exit status.
int EndOfOutput(Reporter& reporter, const DescriptorStream& out, const DescriptorStream& err,
                const Outcome& outcome) {
  reporter.Flush();
  if (out.error() == 0 && err.error() == 0) return ExitStatus(outcome);
  if (err.error() == 0) {
    reporter.err() << "ERROR: Cannot write to standard output: "
                   << std::generic_category().message(out.error()) << EndLine;
  } else if (out.error() == 0) {
    reporter.out() << "ERROR: Cannot write to standard error: "
                   << std::generic_category().message(err.error()) << EndLine;
  }
  return ExitStatus(kLostOutput);
}

}  // namespace

int RunVarnel(int argc, char** argv, RunEnvironment& environment) {
  DescriptorStream out(STDOUT_FILENO);
  DescriptorStream err(STDERR_FILENO);
  // As std::cerr is: written at once, after what standard output holds.
  err.tie(&out);
  err.setf(std::ios::unitbuf);
  Reporter reporter(out, err);
  return EndOfOutput(reporter, out, err, RunWith(reporter, argc, argv, environment));
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
                             .inputIsFile = StandardInputIsFile(),
                             .inputFile = DescriptorIdentity(0)};
  const SignalStopRequest stop;
  environment.stop = &stop;
  environment.configuredServer = [] { return ConfiguredServer(ProcessLdapSettings()); };
  environment.domain = KerberosDomain;
  OpenLdapDcNetwork dcNetwork;
  environment.dcNetwork = &dcNetwork;
  environment.readsOnOwnConnection = true;
  return RunVarnel(argc, argv, environment);
}

}  // namespace varnel
