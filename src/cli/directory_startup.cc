#include "cli/directory_startup.h"

#include <iostream>
#include <memory>
#include <optional>

#include "cli/dn_input.h"
#include "cli/run_environment.h"
#include "diag/console.h"
#include "exchange/directory_object_service.h"
#include "exchange/home_mdb.h"
#include "exchange/process_work_items.h"
#include "exchange/run_settings.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_session.h"
#include "ldap/root_dse.h"
#include "ldap/search_helpers.h"
#include "platform/component_runtime.h"

namespace varnel {
namespace {

const Outcome kStartupFailed = Outcome::Varnel(-1);

// Reads msExchMixedMode of the one organisation container into
// settings.nativeMode. Returns the run's outcome when the run must end here.
std::optional<Outcome> CheckNativeMode(LdapConnection& session, RunSettings& settings) {
  std::vector<std::string> values;
  int rc = LdapGetStrList(session, settings.exchangeServicesDn,
                          "objectcategory=msExchOrganizationContainer", "msExchMixedMode", values);
  if (rc != 0 || values.size() != 1) {
    std::cout << "ERROR: Couldn't verify Exchange Native Mode Status. ("
              << static_cast<uint32_t>(rc) << "|" << values.size() << ")" << EndLine;
    std::cout << "\nThe command did not complete successfully\n" << EndLine;
    // No container, or several, is as much a failure as a failed search.
    return rc != 0 ? Outcome::Ldap(rc) : kStartupFailed;
  }
  settings.nativeMode = values.front().find("FALSE") != std::string::npos;
  std::cout << "Exchange Mode: " << (settings.nativeMode ? "Native" : "Mixed") << EndLine;
  return std::nullopt;
}

}  // namespace

Outcome RunDirectoryStartup(RunSettings& settings,
                            const std::vector<std::string>& exchangeAttributes,
                            RunEnvironment& environment) {
  if (Debug()) std::cout << "Opening TCP connection" << EndLine;
  OpenLdapParams params;
  if (!settings.host.empty()) params.server = settings.host;
  std::unique_ptr<LdapConnection> session = OpenLDAP(environment.connector, params);
  if (!session) {
    std::cerr << "Terminating program." << EndLine;
    return kStartupFailed;
  }

  if (Debug()) std::cout << "DEBUG: Gathering RootDSE" << EndLine;
  RootDseInfo rootDse;
  ReadRootDse(rootDse, *session);
  if (!rootDse.gathered) {
    session.reset();  // the one explicit unbind of a run
    std::cerr << "ERROR: Couldn't gather RootDSE Info..." << EndLine;
    std::cerr << "Terminating program." << EndLine;
    return kStartupFailed;
  }
  if (!Quiet()) std::cout << "Using server: " << rootDse.dnsHostName << EndLine;
  if (Debug()) std::cout << "DEBUG: RootDSE Completed" << EndLine;
  settings.exchangeServicesDn =
      "CN=Microsoft Exchange,CN=Services," + rootDse.configurationNamingContext;

  if (std::optional<Outcome> stop = CheckNativeMode(*session, settings)) return *stop;

  if ((settings.action == RunAction::CreateMailbox || settings.action == RunAction::MoveMailbox) &&
      !settings.mdbText.empty()) {
    settings.homeMdbDn = ResolveHomeMDB(*session, settings.exchangeServicesDn, settings.mdbText,
                                        settings.mdbDelimiter);
  }

  if (Debug()) {
    std::cout << "Debug Info:" << EndLine;
    std::cout << "Action  : " << static_cast<uint32_t>(settings.action) << EndLine;
    std::cout << "Home MDB: " << settings.homeMdbDn << EndLine;
    std::cout << "Email   : " << settings.targetAddress << EndLine;
  }

  // The list is counted and checked before any DN is looked up, so a refused
  // run costs the directory nothing.
  const WorkList work = CollectWorkItems(settings, environment.input);
  if (!CheckSafety(work.items.size(), settings.safety, Quiet())) return kStartupFailed;

  if (InitializeComponentRuntime() != kComponentRuntimeOk) {
    std::cerr << "ERROR: CoInitializeEx failed." << EndLine;
    std::cerr << "The command did not complete successfully\n" << EndLine;
    return kStartupFailed;
  }

  // Objects on the run's own server are bound through the run's session.
  environment.objectService.ShareSession(
      settings.host.empty() ? std::nullopt : std::optional<std::string>(settings.host), *session);
  return ProcessWorkItems(*session, settings, work, exchangeAttributes, environment.objectService,
                          environment.ticks);
}

}  // namespace varnel
