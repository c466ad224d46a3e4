// The switch table, its validation against the accepted switches and the
// command-line stage. The input is argv[1..]: one argument per stretch between
// zero bytes; an argument "=entry" also adds "entry" to a made-up list of
// accepted switches for a second validation. Everything is compared with a
// small model of the documented rules; the stage's output is discarded.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/switch_specs.h"
#include "cli/switch_table.h"
#include "diag/reporter.h"
#include "exchange/quota.h"
#include "exchange/run_settings.h"
#include "fuzz_support.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

// Every line of the code under test goes through this reporter.
Reporter reporter_{std::cout, std::cerr};

// More arguments than this add nothing but time.
constexpr size_t kMaxArguments = 512;

std::vector<std::string> ArgumentsFrom(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments;
  if (size == 0) return arguments;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t begin = 0;
  while (arguments.size() < kMaxArguments) {
    const size_t end = text.find('\0', begin);
    arguments.emplace_back(text.substr(begin, end == std::string_view::npos ? end : end - begin));
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  return arguments;
}

struct Model {
  std::map<std::string, std::string> switches;
  std::vector<std::string> positionals;
  std::vector<std::string> bad;
  std::vector<std::string> missing;
};

bool StartsSwitch(const std::string& argument) {
  if (argument.empty()) return false;
  if (argument[0] == '/') return true;
  if (argument[0] != '-') return false;
  return argument.size() == 1 || !(argument[1] >= '0' && argument[1] <= '9');
}

// The switches that name files take the next argument, switch-like or not.
bool NamesAFile(const std::string& name) {
  return name == "undo" || name == "report" || name == "failed" || name == "f";
}

Model BuildModel(const std::vector<std::string>& arguments, bool withPaths = false) {
  Model model;
  std::optional<std::string> waiting;  // a switch whose value may follow
  for (const std::string& argument : arguments) {
    if (withPaths && waiting && NamesAFile(*waiting)) {
      model.switches[*waiting] = argument;
      waiting.reset();
    } else if (StartsSwitch(argument)) {
      const std::string name = LowerCase(argument.substr(1));
      model.switches[name] = "";
      // The empty name never waits for a value.
      waiting = name.empty() ? std::nullopt : std::optional<std::string>(name);
    } else if (waiting) {
      model.switches[*waiting] = argument;
      waiting.reset();
    } else {
      model.positionals.push_back(argument);
    }
  }
  return model;
}

void ValidateModel(Model* model, std::span<const std::string_view> entries) {
  std::set<std::string> accepted;
  std::set<std::string> required;
  for (std::string_view entry : entries) {
    const bool flag = entry.starts_with(':');
    if (flag) entry.remove_prefix(1);
    const bool isRequired = entry.starts_with('^');
    if (isRequired) entry.remove_prefix(1);
    const std::string name = LowerCase(entry);
    accepted.insert(name);
    if (isRequired) required.insert(name);
    if (!flag) continue;
    auto found = model->switches.find(name);
    if (found != model->switches.end() && !found->second.empty()) {
      model->positionals.push_back(found->second);
      found->second.clear();
    }
  }
  model->bad.clear();
  model->missing.clear();
  for (const auto& [name, value] : model->switches) {
    if (!accepted.contains(name)) model->bad.push_back(name);
  }
  for (const std::string& name : required) {
    if (!model->switches.contains(name)) model->missing.push_back(name);
  }
}

// A switch number as documented: decimal digits only, within `maximum`.
std::optional<uint64_t> ReferenceNumber(const std::string& value, uint64_t maximum) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  errno = 0;
  const unsigned long long number = std::strtoull(value.c_str(), nullptr, 10);
  if (errno == ERANGE || number > maximum) return std::nullopt;
  return number;
}

void CheckTableAgainstModel(const SwitchTable& table, const Model& model) {
  VARNEL_FUZZ_CHECK(table.SwitchCount() == model.switches.size());
  VARNEL_FUZZ_CHECK(table.Positionals() == model.positionals);
  VARNEL_FUZZ_CHECK(table.PositionalCount() == model.positionals.size());
  for (const auto& [name, value] : model.switches) {
    VARNEL_FUZZ_CHECK(table.IsPresent(name));
    VARNEL_FUZZ_CHECK(table.GetValue(name) == value);
    VARNEL_FUZZ_CHECK(table.IsPresent(UpperCase(name)));
  }
  // A name that no argument gave: absent, with an empty value.
  std::string absent = "absent";
  while (model.switches.contains(absent)) absent += '_';
  VARNEL_FUZZ_CHECK(!table.IsPresent(absent));
  VARNEL_FUZZ_CHECK(table.GetValue(absent).empty());
}

void CheckValidated(const SwitchTable& table, const Model& model) {
  VARNEL_FUZZ_CHECK(table.BadSwitches() == model.bad);
  VARNEL_FUZZ_CHECK(table.BadSwitchCount() == model.bad.size());
  // Ascending byte order without repeats.
  for (size_t i = 1; i < model.bad.size(); ++i) VARNEL_FUZZ_CHECK(model.bad[i - 1] < model.bad[i]);
  VARNEL_FUZZ_CHECK(table.MissingSwitches() == model.missing);
  VARNEL_FUZZ_CHECK(table.MissingSwitchCount() == model.missing.size());
  for (size_t i = 1; i < model.missing.size(); ++i) {
    VARNEL_FUZZ_CHECK(model.missing[i - 1] < model.missing[i]);
  }
  VARNEL_FUZZ_CHECK(table.Positionals() == model.positionals);
  for (const auto& [name, value] : model.switches) VARNEL_FUZZ_CHECK(table.GetValue(name) == value);
}

bool Has(const Model& model, const std::string& name) { return model.switches.contains(name); }

// C0 controls, DEL, and the C1 controls as UTF-8 writes them (C2 80..9F).
bool HasControlText(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F)) return true;
  }
  return false;
}

// "ldap://" or "ldaps://" in any letter case (none: "ldap://"), a name of
// letters, digits and "-._" or a bracketed IPv6 address, an optional port from
// 1 to 65535 and an optional final "/": the port it names (389 or 636 when
// none is written); nullopt for anything else.
std::optional<uint64_t> ServerPort(const std::string& text) {
  const std::string lower = LowerCase(text);
  std::string rest;
  bool tls = false;
  if (lower.starts_with("ldaps://")) {
    rest = text.substr(8);
    tls = true;
  } else if (lower.starts_with("ldap://")) {
    rest = text.substr(7);
  } else if (text.find("://") == std::string::npos) {
    rest = text;
  } else {
    return std::nullopt;
  }
  if (rest.ends_with('/')) rest.pop_back();
  size_t end = 0;
  if (rest.starts_with('[')) {
    end = rest.find(']');
    if (end == std::string::npos || end == 1 ||
        rest.find_first_not_of("0123456789abcdefABCDEF:.", 1) < end)
      return std::nullopt;
    ++end;
  } else {
    const std::string nameCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._";
    end = std::min(rest.find_first_not_of(nameCharacters), rest.size());
    if (end == 0) return std::nullopt;
  }
  if (end == rest.size()) return tls ? 636 : 389;
  if (rest[end] != ':') return std::nullopt;
  const uint64_t port = ReferenceNumber(rest.substr(end + 1), 65535).value_or(0);
  if (port == 0) return std::nullopt;
  return port;
}

std::string Value(const Model& model, const std::string& name) {
  auto found = model.switches.find(name);
  return found == model.switches.end() ? std::string() : found->second;
}

void CheckStage(const std::optional<int32_t>& status, const RunSettings& settings,
                const Model& model) {
  const RunSettings defaults;
  bool valueMissing = false;
  for (const char* name : {"quota", "safety", "upto", "internetencoding", "undo", "report",
                           "failed", "window", "f", "rate"})
    valueMissing = valueMissing || (Has(model, name) && Value(model, name).empty());
  const std::string host = Value(model, "h");
  const std::optional<uint64_t> port = ServerPort(host);
  const bool badHost = !host.empty() && !port;
  const bool badValue =
      (Has(model, "hfal") && Has(model, "uhfal")) || (Has(model, "b") && Has(model, "f")) ||
      // -b naming nothing: empty or blank once its quotes are gone.
      (Has(model, "b") &&
       RemoveQuotes(Value(model, "b")).find_first_not_of(" \t") == std::string::npos) ||
      (!host.empty() && port && (*port == 3268 || *port == 3269)) ||
      (Has(model, "me") && HasControlText(Value(model, "me"))) ||
      (Has(model, "quota") && !ParseQuota(Value(model, "quota"))) || badHost ||
      (Has(model, "safety") && !ReferenceNumber(Value(model, "safety"), kNoSafetyLimit)) ||
      (Has(model, "upto") && !ReferenceNumber(Value(model, "upto"), kNoSafetyLimit)) ||
      (Has(model, "window") && ReferenceNumber(Value(model, "window"), 1024).value_or(0) == 0) ||
      (Has(model, "rate") && !ReferenceNumber(Value(model, "rate"), 1000000)) ||
      (Has(model, "internetencoding") &&
       !ReferenceNumber(Value(model, "internetencoding"), std::numeric_limits<int32_t>::max()));
  const bool stopsEarly = !model.bad.empty() || valueMissing || Has(model, "help") ||
                          Has(model, "?") ||
                          (model.switches.empty() && model.positionals.empty()) || badValue;
  if (stopsEarly) {
    VARNEL_FUZZ_CHECK(status == 1);
    VARNEL_FUZZ_CHECK(settings.action == RunAction::None);
    VARNEL_FUZZ_CHECK(settings.host == defaults.host && settings.dn == defaults.dn);
    VARNEL_FUZZ_CHECK(settings.safety == defaults.safety && settings.upto == defaults.upto);
    return;
  }

  VARNEL_FUZZ_CHECK(settings.host == Value(model, "h"));
  VARNEL_FUZZ_CHECK(settings.singleDn == Has(model, "b"));
  VARNEL_FUZZ_CHECK(settings.dn == Value(model, "b"));
  VARNEL_FUZZ_CHECK(settings.showElapsed == Has(model, "elapsed"));
  VARNEL_FUZZ_CHECK(settings.showElapsedMs == Has(model, "elapsedms"));
  VARNEL_FUZZ_CHECK(settings.continueOnError == Has(model, "cont"));
  VARNEL_FUZZ_CHECK(settings.whatIf == Has(model, "whatif"));
  VARNEL_FUZZ_CHECK(settings.window ==
                    (Has(model, "window") ? *ReferenceNumber(Value(model, "window"), 1024) : 0));
  VARNEL_FUZZ_CHECK(settings.rate ==
                    (Has(model, "rate") ? *ReferenceNumber(Value(model, "rate"), 1000000) : 0));
  VARNEL_FUZZ_CHECK(settings.undoPath == Value(model, "undo"));
  VARNEL_FUZZ_CHECK(settings.reportPath == Value(model, "report"));
  VARNEL_FUZZ_CHECK(settings.failedPath == Value(model, "failed"));
  VARNEL_FUZZ_CHECK(settings.dnListPath == Value(model, "f"));

  const uint32_t upto =
      Has(model, "upto")
          ? static_cast<uint32_t>(*ReferenceNumber(Value(model, "upto"), kNoSafetyLimit))
          : 0;
  uint32_t safety = 10;
  if (Has(model, "safety")) {
    safety = std::max(
        static_cast<uint32_t>(*ReferenceNumber(Value(model, "safety"), kNoSafetyLimit)), upto);
  } else if (upto != 0) {
    safety = kNoSafetyLimit;
  }
  if (Has(model, "unsafe")) safety = kNoSafetyLimit;
  VARNEL_FUZZ_CHECK(settings.upto == upto);
  VARNEL_FUZZ_CHECK(settings.safety == safety);
  VARNEL_FUZZ_CHECK(settings.safety >= settings.upto);

  VARNEL_FUZZ_CHECK(settings.mdbDelimiter ==
                    (Has(model, "delim") ? Value(model, "delim") : defaults.mdbDelimiter));
  VARNEL_FUZZ_CHECK(settings.fieldDelimiter ==
                    (Has(model, "fdelim") ? Value(model, "fdelim") : defaults.fieldDelimiter));
  const std::string encoding = Value(model, "internetencoding");
  VARNEL_FUZZ_CHECK(settings.internetEncoding ==
                    (encoding.empty() ? defaults.internetEncoding : encoding));

  // The first action switch in this order wins.
  RunAction action = RunAction::None;
  std::string mdbText;
  std::string targetAddress;
  if (Has(model, "clear")) {
    action = RunAction::Clear;
  } else if (Has(model, "cr")) {
    action = RunAction::CreateMailbox;
    mdbText = Value(model, "cr");
  } else if (Has(model, "move")) {
    action = RunAction::MoveMailbox;
    mdbText = Value(model, "move");
  } else if (Has(model, "me")) {
    action = RunAction::MailEnable;
    targetAddress = Value(model, "me");
  } else if (Has(model, "upd")) {
    action = RunAction::Update;
  }
  VARNEL_FUZZ_CHECK(settings.action == action);
  VARNEL_FUZZ_CHECK(settings.mdbText == mdbText);
  VARNEL_FUZZ_CHECK(settings.targetAddress == targetAddress);
  VARNEL_FUZZ_CHECK(
      status == (action == RunAction::None ? std::optional<int32_t>(1) : std::optional<int32_t>()));
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel;
  using namespace varnel::fuzz;
  const std::vector<std::string> arguments = ArgumentsFrom(data, size);
  std::vector<const char*> argv = {"varnel"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);

  for (const std::string& argument : arguments) {
    VARNEL_FUZZ_CHECK(ParseDecimal(argument, kNoSafetyLimit) ==
                      ReferenceNumber(argument, kNoSafetyLimit));
  }

  // Accepted switches made up by the input: every argument "=entry" adds
  // "entry", which may mark a flag (":") or a required switch ("^").
  {
    std::vector<std::string> entryTexts;
    for (const std::string& argument : arguments) {
      if (argument.starts_with('=')) entryTexts.push_back(argument.substr(1));
    }
    const std::vector<std::string_view> entries(entryTexts.begin(), entryTexts.end());
    SwitchTable table(argc, argv.data());
    Model model = BuildModel(arguments);
    ValidateModel(&model, entries);
    const int problems = table.Validate(entries);
    VARNEL_FUZZ_CHECK(problems == static_cast<int>(model.bad.size() + model.missing.size()));
    CheckValidated(table, model);
    // A second check starts the lists over instead of adding to them.
    VARNEL_FUZZ_CHECK(table.Validate(entries) == problems);
    CheckValidated(table, model);
  }

  // Names folded, as a run reads them, through the whole stage.
  SwitchTable table(argc, argv.data(), kPathSwitches);
  Model model = BuildModel(arguments, true);
  CheckTableAgainstModel(table, model);
  ValidateModel(&model, kVarnelSwitchSpecs);

  RunSettings settings;
  std::optional<int32_t> status;
  {
    SilencedStreams silence;
    const Outcome stage = RunCommandLineStage(reporter_, &table, &settings);
    if (!stage.ok()) status = ExitStatus(stage);
  }
  VARNEL_FUZZ_CHECK(reporter_.quiet() == model.switches.contains("q"));
  VARNEL_FUZZ_CHECK(reporter_.debug() == model.switches.contains("d"));
  reporter_.Configure({});
  CheckValidated(table, model);
  for (const std::string& name : model.bad) VARNEL_FUZZ_CHECK(name == LowerCase(name));
  CheckStage(status, settings, model);

  // The typed options the actions get, when the stage let the run go on.
  if (status) return 0;
  const UpdateOptions& update = settings.update;
  VARNEL_FUZZ_CHECK(update.hideFromAddressLists == model.switches.contains("hfal"));
  VARNEL_FUZZ_CHECK(update.unhideFromAddressLists == model.switches.contains("uhfal"));
  VARNEL_FUZZ_CHECK(update.quota.has_value() == model.switches.contains("quota"));
  if (update.quota) VARNEL_FUZZ_CHECK(update.quota == ParseQuota(Value(model, "quota")));
  VARNEL_FUZZ_CHECK(settings.keepMail == model.switches.contains("keepmail"));
  return 0;
}
