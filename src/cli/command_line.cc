#include "cli/command_line.h"

#include <cstdint>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "cli/switch_specs.h"
#include "cli/usage_text.h"
#include "diag/console.h"

namespace varnel {
namespace {

constexpr int32_t kCommandLineStop = 1;

void PrintSwitchList(std::string_view heading, const std::vector<std::string>& names) {
  if (names.empty()) return;
  std::cerr << heading << EndLine;
  for (const std::string& name : names) std::cerr << "ERROR:  " << name << EndLine;
}

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

}  // namespace

uint32_t SwitchNumber(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && IsCSpace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  // The magnitude stops growing just past the 32-bit signed range.
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  int64_t number = negative ? -magnitude : magnitude;
  if (number > std::numeric_limits<int32_t>::max()) number = std::numeric_limits<int32_t>::max();
  return static_cast<uint32_t>(static_cast<int32_t>(number));
}

std::optional<int32_t> RunCommandLineStage(SwitchTable* table, RunSettings* settings) {
  SetConsoleFlags({.quiet = table->IsPresent("q"), .debug = table->IsPresent("d")});
  if (!Quiet()) PrintBanner();

  if (table->Validate(kVarnelSwitchSpecs) > 0) {
    PrintSwitchList("ERROR: Missing Command Line Arg(s)", table->MissingSwitches());
    PrintSwitchList("ERROR: Bad Command Line Arg(s)", table->BadSwitches());
    std::cerr << "\n\n";
    PrintHint();
    return kCommandLineStop;
  }

  if (table->IsPresent("help") || table->IsPresent("?") ||
      (table->SwitchCount() == 0 && table->PositionalCount() == 0)) {
    PrintUsage();
    return kCommandLineStop;
  }

  settings->host = table->GetValue("h");
  if (table->IsPresent("b")) {
    settings->singleDn = true;
    settings->dn = table->GetValue("b");
  }
  settings->showElapsed = table->IsPresent("elapsed");
  settings->showElapsedMs = table->IsPresent("elapsedms");
  settings->upto = table->IsPresent("upto") ? SwitchNumber(table->GetValue("upto")) : 0;

  settings->safety = 10;
  if (table->IsPresent("safety")) {
    settings->safety = SwitchNumber(table->GetValue("safety"));
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

  settings->action = ChooseAction(*table, settings);
  if (settings->action == RunAction::None) {
    PrintUsage();
    return kCommandLineStop;
  }
  return std::nullopt;
}

}  // namespace varnel
