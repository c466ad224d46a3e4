#include "cli/switch_table.h"

#include <set>
#include <utility>

#include "text/string_helpers.h"

namespace varnel {
namespace {

bool IsSwitch(std::string_view argument) {
  if (argument.starts_with('/')) return true;
  if (!argument.starts_with('-')) return false;
  return argument.size() < 2 || argument[1] < '0' || argument[1] > '9';
}

}  // namespace

SwitchTable::SwitchTable(int argc, const char* const* argv,
                         std::span<const std::string_view> pathSwitches) {
  std::set<std::string> takesPath;
  for (std::string_view name : pathSwitches) takesPath.insert(LowerCase(name));
  // An empty pending name also means that no switch waits for a value.
  std::string pending;
  for (int i = 1; i < argc && argv != nullptr; ++i) {
    if (argv[i] == nullptr) continue;
    const std::string_view argument = argv[i];
    if (!pending.empty() && takesPath.contains(pending)) {
      switches_[pending] = argument;
      pending.clear();
    } else if (IsSwitch(argument)) {
      pending = LowerCase(argument.substr(1));
      switches_[pending].clear();
    } else if (pending.empty()) {
      positionals_.emplace_back(argument);
    } else {
      switches_[pending] = argument;
      pending.clear();
    }
  }
}

int SwitchTable::Validate(std::span<const std::string_view> entries) {
  std::set<std::string> accepted;
  std::set<std::string> required;
  for (std::string_view entry : entries) {
    const bool flag = entry.starts_with(':');
    if (flag) entry.remove_prefix(1);
    const bool is_required = entry.starts_with('^');
    if (is_required) entry.remove_prefix(1);
    const std::string name = LowerCase(entry);
    if (flag) {
      auto found = switches_.find(name);
      if (found != switches_.end() && !found->second.empty()) {
        positionals_.push_back(std::move(found->second));
        found->second.clear();
      }
    }
    if (is_required) required.insert(name);
    accepted.insert(name);
  }

  bad_switches_.clear();
  missing_switches_.clear();
  for (const auto& [name, value] : switches_) {
    if (!accepted.contains(name)) bad_switches_.push_back(name);
  }
  for (const std::string& name : required) {
    if (!switches_.contains(name)) missing_switches_.push_back(name);
  }
  return static_cast<int>(bad_switches_.size() + missing_switches_.size());
}

bool SwitchTable::IsPresent(std::string_view name) const {
  return switches_.contains(LowerCase(name));
}

std::string SwitchTable::GetValue(std::string_view name) const {
  auto found = switches_.find(LowerCase(name));
  return found == switches_.end() ? std::string() : found->second;
}

}  // namespace varnel
