#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "cli/dn_input.h"
#include "cli/switch_specs.h"
#include "cli/usage_text.h"
#include "diag/reporter.h"
#include "exchange/quota.h"
#include "ldap/server_address.h"
#include "run/adaptive_window.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

void PrintSwitchList(Reporter& reporter, std::string_view heading,
                     const std::vector<std::string>& names) {
  if (names.empty()) return;
  reporter.err() << heading << EndLine;
  for (const std::string& name : names) reporter.err() << "ERROR:  " << name << EndLine;
}

// Switches that mean nothing without a value: given as the last argument,
// with an empty value or followed by another switch, the command line is bad.
constexpr std::array<std::string_view, 10> kValueRequired = {
    "f",    "failed", "internetencoding", "quota", "rate", "report", "safety", "undo",
    "upto", "window"};

// The most requests a run keeps outstanding at once.
constexpr uint64_t kMaxWindow = AdaptiveWindow::kCap;

// The highest -rate (items a second): far beyond what a server takes, and
// well within what the pacing counts with.
constexpr uint64_t kMaxRate = 1000000;

// The largest value internetEncoding holds (the directory's Integer syntax).
constexpr uint64_t kMaxInternetEncoding = std::numeric_limits<int32_t>::max();

// Names of the value-required switches given without one, in byte order.
std::vector<std::string> SwitchesWithoutValue(const SwitchTable& table) {
  std::vector<std::string> names;
  for (std::string_view name : kValueRequired) {
    if (table.IsPresent(name) && table.GetValue(name).empty()) names.emplace_back(name);
  }
  return names;
}

void PrintBadValue(Reporter& reporter, std::string_view name, std::string_view value) {
  reporter.err() << "ERROR: Bad value for -" << name << ": " << value << EndLine;
}

// The values the stage reads into types, when their switches are given.
struct SwitchValues {
  std::optional<uint32_t> safety;
  std::optional<uint32_t> upto;
  std::optional<uint32_t> window;
  std::optional<uint32_t> rate;
  std::optional<QuotaFigures> quota;
};

// Takes the value of a number switch into *number when the switch is given;
// false after the bad-value line.
bool TakeNumber(Reporter& reporter, const SwitchTable& table, std::string_view name,
                uint64_t maximum, std::optional<uint32_t>* number) {
  if (!table.IsPresent(name)) return true;
  const std::string value = table.GetValue(name);
  const std::optional<uint64_t> parsed = ParseDecimal(value, maximum);
  if (!parsed) {
    PrintBadValue(reporter, name, value);
    return false;
  }
  *number = static_cast<uint32_t>(*parsed);
  return true;
}

// -window: 1 (one request at a time) up to kMaxWindow.
bool TakeWindow(Reporter& reporter, const SwitchTable& table, std::optional<uint32_t>* window) {
  if (!TakeNumber(reporter, table, "window", kMaxWindow, window)) return false;
  if (*window != 0u) return true;
  PrintBadValue(reporter, "window", table.GetValue("window"));
  return false;
}

// Checks the values the run writes or counts with before anything else
// happens and takes them into *values; false after the line that names the
// bad one.
bool CheckValues(Reporter& reporter, const SwitchTable& table, SwitchValues* values) {
  if (table.IsPresent("hfal") && table.IsPresent("uhfal")) {
    reporter.err() << "ERROR: -hfal and -uhfal contradict each other; give one of them." << EndLine;
    return false;
  }
  if (table.IsPresent("b") && table.IsPresent("f")) {
    reporter.err() << "ERROR: -b and -f contradict each other; give one of them." << EndLine;
    return false;
  }
  // An empty -b (a script's unset variable) must not become a run over nothing.
  if (table.IsPresent("b") && !NamesObject(table.GetValue("b"))) {
    reporter.err() << "ERROR: Bad value for -b: no DN given" << EndLine;
    return false;
  }
  if (table.IsPresent("quota")) {
    values->quota = ParseQuota(table.GetValue("quota"));
    if (!values->quota) {
      reporter.err() << "ERROR: Bad quota values" << EndLine;
      return false;
    }
  }
  const std::string host = table.GetValue("h");
  if (!host.empty()) {
    const std::optional<ServerAddress> address = ParseServerAddress(host);
    if (!address) {
      PrintBadValue(reporter, "h", host);
      return false;
    }
    // The global catalog takes no change: a run against it could only fail,
    // and a -whatif run would plan changes that no write on that port can make.
    if (IsGlobalCatalogPort(address->port)) {
      reporter.err() << GlobalCatalogRefusal("-h " + host, address->port) << EndLine;
      return false;
    }
  }
  // A line feed in an address would become part of the directory value.
  if (table.IsPresent("me") && HasControlCharacter(table.GetValue("me"))) {
    reporter.err() << "ERROR: Bad value for -me: an address cannot hold a control character"
                   << EndLine;
    return false;
  }
  std::optional<uint32_t> encoding;  // written as the text it was given in
  return TakeNumber(reporter, table, "safety", kNoSafetyLimit, &values->safety) &&
         TakeNumber(reporter, table, "upto", kNoSafetyLimit, &values->upto) &&
         TakeNumber(reporter, table, "internetencoding", kMaxInternetEncoding, &encoding) &&
         TakeWindow(reporter, table, &values->window) &&
         TakeNumber(reporter, table, "rate", kMaxRate, &values->rate);
}

// Picks the action, first match wins, and takes over the value it carries.
RunAction ChooseAction(const SwitchTable& table, RunSettings* settings) {
  if (table.IsPresent("clear")) return RunAction::Clear;
  if (table.IsPresent("cr")) {
    settings->mdbText = table.GetValue("cr");
    return RunAction::CreateMailbox;
  }
  if (table.IsPresent("move")) {
    settings->mdbText = table.GetValue("move");
    return RunAction::MoveMailbox;
  }
  if (table.IsPresent("me")) {
    settings->targetAddress = table.GetValue("me");
    return RunAction::MailEnable;
  }
  if (table.IsPresent("upd")) return RunAction::Update;
  return RunAction::None;
}

// Arguments that are neither switches nor their values change nothing; a
// file name given without -f would otherwise be dropped without a word.
void WarnIgnoredArguments(Reporter& reporter, const SwitchTable& table,
                          const RunSettings& settings) {
  if (table.Positionals().empty()) return;
  reporter.err() << "WARN: Arguments that are not switches are ignored:";
  for (const std::string& argument : table.Positionals())
    reporter.err() << " \"" << argument << "\"";
  if (settings.singleDn) {
    reporter.err() << ". The run works on the DN of -b only." << EndLine;
  } else if (!settings.dnListPath.empty()) {
    reporter.err() << ". The DN list is read from " << settings.dnListPath << "." << EndLine;
  } else {
    reporter.err() << ". The DN list is read from standard input; -f FILE reads it from a file."
                   << EndLine;
  }
}

}  // namespace

Outcome RunCommandLineStage(Reporter& reporter, SwitchTable* table, RunSettings* settings) {
  reporter.Configure({.quiet = table->IsPresent("q"), .debug = table->IsPresent("d")});
  if (!reporter.quiet()) PrintBanner(reporter);

  const int problems = table->Validate(kVarnelSwitchSpecs);
  std::vector<std::string> bad = table->BadSwitches();
  for (std::string& name : SwitchesWithoutValue(*table)) bad.push_back(std::move(name));
  if (problems > 0 || !bad.empty()) {
    std::sort(bad.begin(), bad.end());
    PrintSwitchList(reporter, "ERROR: Missing Command Line Arg(s)", table->MissingSwitches());
    PrintSwitchList(reporter, "ERROR: Bad Command Line Arg(s)", bad);
    reporter.err() << "\n\n";
    PrintHint(reporter);
    return CommandLineStop();
  }

  if (table->IsPresent("help") || table->IsPresent("?") ||
      (table->SwitchCount() == 0 && table->PositionalCount() == 0)) {
    PrintUsage(reporter.err());
    return CommandLineStop();
  }

  SwitchValues values;
  if (!CheckValues(reporter, *table, &values)) return CommandLineStop();

  settings->host = table->GetValue("h");
  if (table->IsPresent("b")) {
    settings->singleDn = true;
    settings->dn = table->GetValue("b");
  }
  settings->dnListPath = table->GetValue("f");
  settings->showElapsed = table->IsPresent("elapsed");
  settings->showElapsedMs = table->IsPresent("elapsedms");
  settings->upto = values.upto.value_or(0);
  if (values.window) settings->window = *values.window;
  settings->rate = values.rate.value_or(0);

  settings->safety = 10;
  if (values.safety) {
    settings->safety = *values.safety;
    if (settings->upto > settings->safety) settings->safety = settings->upto;
  } else if (settings->upto != 0) {
    settings->safety = kNoSafetyLimit;
  }
  if (table->IsPresent("unsafe")) settings->safety = kNoSafetyLimit;

  settings->continueOnError = table->IsPresent("cont");
  if (table->IsPresent("delim")) settings->mdbDelimiter = table->GetValue("delim");
  if (table->IsPresent("fdelim")) settings->fieldDelimiter = table->GetValue("fdelim");
  const std::string encoding = table->GetValue("internetencoding");
  if (!encoding.empty()) settings->internetEncoding = encoding;

  settings->update.hideFromAddressLists = table->IsPresent("hfal");
  settings->update.unhideFromAddressLists = table->IsPresent("uhfal");
  settings->update.quota = values.quota;
  settings->keepMail = table->IsPresent("keepmail");
  settings->verbose = table->IsPresent("v");
  settings->whatIf = table->IsPresent("whatif");
  settings->undoPath = table->GetValue("undo");
  settings->reportPath = table->GetValue("report");
  settings->failedPath = table->GetValue("failed");

  settings->action = ChooseAction(*table, settings);
  if (settings->action == RunAction::None) {
    PrintUsage(reporter.err());
    return CommandLineStop();
  }
  WarnIgnoredArguments(reporter, *table, *settings);
  return Outcome::Ok();
}

}  // namespace varnel
