#include "cli/directory_startup.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <sstream>

#include "actions/action_list.h"
#include "cli/command_line.h"
#include "cli/dn_input.h"
#include "cli/run_environment.h"
#include "cli/run_files.h"
#include "diag/item_lines.h"
#include "diag/reporter.h"
#include "directory/home_mdb.h"
#include "directory/run_facts.h"
#include "exchange/run_settings.h"
#include "ldap/dc_locator.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_session.h"
#include "ldap/resilient_session.h"
#include "ldap/root_dse.h"
#include "ldap/search_helpers.h"
#include "ldap/searches_ahead.h"
#include "ldap/server_address.h"
#include "platform/stop_request.h"
#include "run/item_step.h"
#include "run/process_work_items.h"
#include "run/run_records.h"
#include "run/send_rules.h"
#include "run/session_channel.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

const Outcome kStartupFailed = Outcome::Varnel(-1);

// The longest wait for one answer on a connection made again after a loss.
constexpr int kReconnectAnswerSeconds = 15;

// Runs of more items than this show a progress meter on a terminal.
constexpr size_t kMeterThreshold = 50;

// The organisation container, and what tells its mode.
constexpr const char* kOrganisationFilter = "objectcategory=msExchOrganizationContainer";
constexpr const char* kModeAttribute = "msExchMixedMode";

// Reads msExchMixedMode of the one organisation container into
// startup->nativeMode. A failure ends the run.
Outcome CheckNativeMode(Reporter& reporter, LdapConnection& session, StartupFacts* startup) {
  std::vector<std::string> values;
  ItemLines lines = reporter.Lines();
  const Outcome read = LdapGetStrList(lines, session, startup->exchangeServicesDn,
                                      kOrganisationFilter, kModeAttribute, values);
  reporter.Show(lines);
  if (!read.ok() || values.size() != 1) {
    reporter.out() << "ERROR: Couldn't verify Exchange Native Mode Status. ("
                   << static_cast<uint32_t>(read.code()) << "|" << values.size() << ")" << EndLine;
    reporter.out() << "\nThe command did not complete successfully\n" << EndLine;
    // No container, or several, is as much a failure as a failed search.
    return !read.ok() ? read : kStartupFailed;
  }
  startup->nativeMode = values.front().find("FALSE") != std::string::npos;
  reporter.out() << "Exchange Mode: " << (startup->nativeMode ? "Native" : "Mixed") << EndLine;
  return Outcome::Ok();
}

// A list refused by the safety limit: every item not processed in the
// report and every line in the failed-lines file, to be run again with a
// larger -safety.
void RecordRefusedList(Reporter& reporter, const Action& action, const WorkList& work,
                       RunFiles&& files) {
  RunRecords records;
  if (!BeginRunRecords(reporter, std::move(files), &records).ok()) return;
  if (records.report) {
    records.report->SetAction(action.Name());
    records.report->SetSkippedLines(&work.skipped);
  }
  for (const WorkItem& item : work.items) {
    if (!records.ItemEnded(reporter, item, NotProcessed()).ok()) return;
  }
  records.Finish(reporter);
}

// A run stopped before its processing began: nothing was sent.
Outcome Stopped(Reporter& reporter, int signal) {
  reporter.err() << "ERROR: Stopped by signal " << signal
                 << "; the items not yet sent are not processed." << EndLine;
  return Outcome::Varnel(128 + signal, "stopped by a signal");
}

// The server of a run that -h does not name: the one libldap's own settings
// name, which must not be a global catalog; else, when a locator network is
// there, a writable DC found through DNS. A failure ends the run.
Outcome ChooseServer(Reporter& reporter, RunEnvironment& environment, OpenLdapParams* params) {
  if (const std::optional<std::string> configured = environment.configuredServer()) {
    std::vector<std::string> servers;
    Split(*configured, " ", &servers);
    for (const std::string& server : servers) {
      const std::optional<ServerAddress> address = ParseServerAddress(server);
      if (address && IsGlobalCatalogPort(address->port)) {
        reporter.err() << GlobalCatalogRefusal("the configured URI " + server, address->port)
                       << EndLine;
        return CommandLineStop();
      }
    }
    return Outcome::Ok();
  }
  if (environment.dcNetwork == nullptr) return Outcome::Ok();
  const std::optional<std::string> domain = environment.domain();
  DcSearch search;
  if (domain)
    search = LocateDomainController(*environment.dcNetwork, *domain);
  else
    search.failure = "no Kerberos ticket or default realm names the domain";
  if (reporter.debug()) {
    for (const std::string& line : search.trace)
      reporter.out() << "DEBUG: DC locator: " << line << EndLine;
  }
  if (!search.dc) {
    reporter.err() << NoDomainControllerLine(domain.value_or(""), search.failure) << EndLine;
    reporter.err() << "Terminating program." << EndLine;
    return kStartupFailed;
  }
  // A lost connection is made again to this same DC: writes already sent to
  // it may not have reached the others yet.
  params->server = search.dc->port == 389 ? search.dc->host
                                          : search.dc->host + ":" + std::to_string(search.dc->port);
  return Outcome::Ok();
}

// The Exchange services container of the forest whose configuration the
// root DSE names.
std::string ServicesDnOf(const RootDseInfo& rootDse) {
  return "CN=Microsoft Exchange,CN=Services," + rootDse.configurationNamingContext;
}

// The server's root DSE, read first: its dsServiceName names the DC into
// *dc, and its configuration naming context the Exchange services
// container. A failure ends the run.
Outcome ReadServerFacts(Reporter& reporter, LdapConnection& session, StartupFacts* startup,
                        std::string* dc) {
  if (reporter.debug()) reporter.out() << "DEBUG: Gathering RootDSE" << EndLine;
  RootDseInfo rootDse;
  ReadRootDse(reporter, rootDse, session);
  if (!rootDse.gathered) {
    reporter.err() << "ERROR: Couldn't gather RootDSE Info..." << EndLine;
    reporter.err() << "Terminating program." << EndLine;
    return kStartupFailed;
  }
  if (!reporter.quiet()) reporter.out() << "Using server: " << rootDse.dnsHostName << EndLine;
  if (reporter.debug()) reporter.out() << "DEBUG: RootDSE Completed" << EndLine;
  *dc = rootDse.dsServiceName;
  startup->exchangeServicesDn = ServicesDnOf(rootDse);
  return Outcome::Ok();
}

// -cr or -move names the run's database on the command line.
bool NamesRunDatabase(const RunSettings& settings) {
  return (settings.action == RunAction::CreateMailbox ||
          settings.action == RunAction::MoveMailbox) &&
         !settings.mdbText.empty();
}

// The searches the start-up and the first plans make below the services
// container, sent together: none needs another's answer, and each would
// otherwise wait a round trip for the one before. `planned`: the action as
// far as the settings make it.
void SendStartupSearches(SearchesAhead& ahead, const RunSettings& settings,
                         const std::string& services, const Action* planned) {
  ahead.Send(StrListRequest(services, kOrganisationFilter, kModeAttribute));
  if (NamesRunDatabase(settings)) {
    for (const LdapSearchRequest& search :
         HomeMdbSearches(services, settings.mdbText, settings.mdbDelimiter))
      ahead.Send(search);
  }
  if (planned && planned->FactsNeeded() == Action::Needs::kOrganisation)
    ahead.Send(OrganisationSearch(services));
}

// The bound session's root DSE, and with it the start-up's searches below
// the services container that the root DSE read before the bind named.
// Returns that container; "" when there was none.
std::string SendRootDseAndGuesses(SearchesAhead& ahead, const RunSettings& settings,
                                  const std::optional<std::vector<LdapEntry>>& unboundRootDse,
                                  const Action* planned) {
  ahead.Send(RootDseRequest());
  if (!unboundRootDse) return "";
  std::string guessed = ServicesDnOf(RootDseOf(*unboundRootDse));
  SendStartupSearches(ahead, settings, guessed, planned);
  return guessed;
}

// The rest of what every item needs, read once: the organisation's mode, and
// the database -cr or -move names. A failure ends the run.
Outcome ReadOrganisationFacts(Reporter& reporter, const RunSettings& settings,
                              LdapConnection& session, StartupFacts* startup) {
  if (Outcome mode = CheckNativeMode(reporter, session, startup); !mode.ok()) return mode;

  if (NamesRunDatabase(settings)) {
    ItemLines lines = reporter.Lines();
    // A database that does not resolve is shown and the run goes on without
    // one: each item then fails for want of it.
    (void)ResolveHomeMDB(lines, session, startup->exchangeServicesDn, settings.mdbText,
                         settings.mdbDelimiter, &startup->homeMdbDn);
    reporter.Show(lines);
  }

  if (reporter.debug()) {
    reporter.out() << "Debug Info:" << EndLine;
    reporter.out() << "Action  : " << static_cast<uint32_t>(settings.action) << EndLine;
    reporter.out() << "Home MDB: " << startup->homeMdbDn << EndLine;
    reporter.out() << "Email   : " << settings.targetAddress << EndLine;
  }
  return Outcome::Ok();
}

// The reads' own connection, and the DC that answered it (its root DSE's
// dsServiceName).
struct ReadsOpened {
  std::unique_ptr<LdapConnection> session;
  std::string dc;
};

// A list's reads get a connection of their own, opened on a thread while
// the start-up reads on the first, so that it costs the run no round trip:
// they go on the first until it is open.
// Not for one DN, nor for -whatif, which writes nothing.
std::future<ReadsOpened> StartOpeningReads(const RunSettings& settings, RunEnvironment& environment,
                                           const OpenLdapParams& params) {
  if (!environment.readsOnOwnConnection || settings.singleDn || settings.whatIf) return {};
  return std::async(std::launch::async, [&environment, params] {
    LeaveStopSignalsToTheRun();
    std::ostringstream unseen;
    Reporter quiet(unseen, unseen);
    ReadsOpened opened{OpenLDAP(quiet, environment.connector, params), {}};
    if (opened.session) {
      RootDseInfo rootDse;
      ReadRootDse(quiet, rootDse, *opened.session);
      opened.dc = rootDse.dsServiceName;
    }
    return opened;
  });
}

// The reads' session for SessionChannel: nullopt while its own connection
// is still being opened; then that connection, given to `keep`, when it
// reached `dc` (the first session's DC), and null otherwise. A name that
// several DCs answer to may have led it to another: reads there could
// decide a write from what that DC has not yet replicated.
template <typename Keep>
std::optional<LdapConnection*> ReadsSession(std::future<ReadsOpened>& opening,
                                            const std::string& dc, const Keep& keep) {
  if (!opening.valid()) return nullptr;
  if (opening.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return std::nullopt;
  ReadsOpened opened = opening.get();
  if (opened.session && !dc.empty() && opened.dc == dc) return keep(std::move(opened.session));
  return nullptr;
}

// The reads the loop sends first, sent before the start-up reads the
// organisation: as many as the loop's first turn sends (none under -rate,
// which spaces them), and none for a list the safety limit refuses. What an
// action reads does not depend on what the start-up learns (`planned`).
void StartFirstReads(SessionChannel& channel, const RunSettings& settings, const WorkList& work,
                     const Action* planned) {
  if (settings.rate != 0 || work.items.size() > settings.safety || !planned) return;
  const SendRules rules(SendLimitsOf(settings));
  const size_t count = std::min<size_t>(work.items.size(), rules.ReadWindow());
  for (size_t index = 0; index < count; ++index) {
    if (channel.StartEarlyRead(index, ObjectReadRequest(*planned, work.items[index].dn)) != 0)
      return;
  }
}

// The run's first session, opened and bound into *first: to the -h server,
// or to the DC the locator chose (its parameters into *params).
Outcome OpenFirstSession(Reporter& reporter, const RunSettings& settings,
                         RunEnvironment& environment, const StopRequest& stop,
                         OpenLdapParams* params, std::unique_ptr<LdapConnection>* first) {
  if (reporter.debug()) reporter.out() << "Opening TCP connection" << EndLine;
  if (!settings.host.empty()) {
    params->server = settings.host;
  } else if (Outcome chosen = ChooseServer(reporter, environment, params); !chosen.ok()) {
    if (const int signal = stop.Signal(); signal != 0) return Stopped(reporter, signal);
    return chosen;
  }
  // Its root DSE goes with the bind; other sessions read theirs bound.
  OpenLdapParams withRootDse = *params;
  withRootDse.rootDseWithBind = true;
  *first = OpenLDAP(reporter, environment.connector, withRootDse);
  if (*first) return Outcome::Ok();
  // A set-up cut short by a stop ends as a stop does.
  if (const int signal = stop.Signal(); signal != 0) return Stopped(reporter, signal);
  reporter.err() << "Terminating program." << EndLine;
  return kStartupFailed;
}

}  // namespace

Outcome RunDirectoryStartup(Reporter& reporter, const RunSettings& settings,
                            RunEnvironment& environment, std::istream& dnList, bool listIsFile,
                            RunFiles&& files) {
  const NoStopRequest never;
  const StopRequest& stop = environment.stop ? *environment.stop : never;
  OpenLdapParams params;
  std::unique_ptr<LdapConnection> first;
  if (Outcome opened = OpenFirstSession(reporter, settings, environment, stop, &params, &first);
      !opened.ok())
    return opened;
  // What the root DSE said before the bind, in the clear: a guess at the
  // services container, which decides nothing until the bound session's
  // own root DSE says the same.
  const std::optional<std::vector<LdapEntry>> unboundRootDse = first->TakeSentWithBind();
  // A lost connection is made again the same way, without the lines of the
  // first opening: the run reports the loss itself when it cannot recover.
  std::ostringstream unused;
  Reporter silent(unused, unused);
  // A server that went silent gets less patience the second time, so that
  // the run ends within a minute of the silence, however many requests wait.
  OpenLdapParams again = params;
  again.answerTimeoutSeconds = kReconnectAnswerSeconds;
  const auto resilient = [&](std::unique_ptr<LdapConnection> opened) {
    return std::make_unique<ResilientSession>(
        std::move(opened), [&] { return OpenLDAP(silent, environment.connector, again); },
        environment.ticks, environment.pause, kReconnectAnswerSeconds * 1000);
  };
  std::unique_ptr<LdapConnection> session = resilient(std::move(first));
  std::future<ReadsOpened> readsOpening = StartOpeningReads(settings, environment, params);

  StartupFacts startup;
  std::string dc;
  bool dcKnown = false;
  // The reads share the first session until theirs is open, and for good
  // when it cannot be, or turns out to be on another DC.
  std::unique_ptr<LdapConnection> reads;
  const auto readSession = [&]() -> std::optional<LdapConnection*> {
    if (!dcKnown) return std::nullopt;
    return ReadsSession(readsOpening, dc, [&](std::unique_ptr<LdapConnection> opened) {
      reads = resilient(std::move(opened));
      return reads.get();
    });
  };
  SessionChannel channel(*session, readSession);

  // The bound root DSE goes out first. With it go the searches below the
  // services container the unbound one named, the first objects' reads of a
  // list in a file (read now, its lines held for their turn), and so all
  // come back in one round trip. A list from a pipe or the terminal may
  // take its time, and waits until the organisation is known to be fit.
  // What the action reads and which facts it needs follow from the settings
  // alone, before the start-up has learnt the rest.
  SearchesAhead ahead(*session);
  const std::unique_ptr<Action> planned = MakeAction(settings, StartupFacts{}, GuidSource{});
  const std::string guessedServices =
      SendRootDseAndGuesses(ahead, settings, unboundRootDse, planned.get());
  const bool readAtOnce = settings.singleDn || listIsFile;
  ItemLines listLines = reporter.Lines();
  WorkList work;
  if (readAtOnce) {
    work = CollectWorkItems(listLines, settings, dnList, &stop);
    if (stop.Signal() == 0) StartFirstReads(channel, settings, work, planned.get());
  }
  if (Outcome read = ReadServerFacts(reporter, ahead, &startup, &dc); !read.ok()) return read;
  dcKnown = true;
  // A guess that missed was sent for nothing: those searches are never
  // taken, and the right ones go now.
  if (startup.exchangeServicesDn != guessedServices)
    SendStartupSearches(ahead, settings, startup.exchangeServicesDn, planned.get());
  if (Outcome read = ReadOrganisationFacts(reporter, settings, ahead, &startup); !read.ok())
    return read;

  // The list is counted and checked before any DN is looked up, so a refused
  // run costs the directory nothing.
  if (!settings.singleDn && settings.dnListPath.empty() && environment.inputIsTerminal) {
    reporter.err() << "Reading the DN list from the terminal: one DN per line, end it with ctrl-D."
                   << EndLine;
  }
  const std::unique_ptr<Action> action = MakeAction(settings, startup, environment.guids);
  if (!action) return kStartupFailed;  // the command line lets no run start without one
  if (readAtOnce)
    reporter.Show(listLines);
  else
    work = CollectWorkItems(reporter, settings, dnList, &stop);
  // Stopped while the list was read: nothing was written, and the run's
  // files are left as they were.
  if (const int signal = stop.Signal(); signal != 0) return Stopped(reporter, signal);
  if (!CheckSafety(reporter, work.items.size(), settings.safety)) {
    RecordRefusedList(reporter, *action, work, std::move(files));
    return kStartupFailed;
  }

  if (environment.errorIsTerminal && work.items.size() > kMeterThreshold)
    reporter.EnableStatusLine(environment.outputIsTerminal);
  // Processing begins: from here on the run's files are its own.
  RunRecords records;
  if (Outcome begun = BeginRunRecords(reporter, std::move(files), &records); !begun.ok())
    return begun;
  RunFacts facts(ahead, startup, settings.mdbDelimiter,
                 settings.action == RunAction::CreateMailbox);
  return ProcessWorkItems(reporter, channel, facts, *action, settings, work, environment.ticks,
                          records, stop, environment.pause);
}

}  // namespace varnel
