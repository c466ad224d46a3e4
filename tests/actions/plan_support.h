// Plans made the way the loop makes them, for tests of the plan functions:
// an object as one read returns it, and modifications as short texts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "actions/action.h"
#include "actions/action_list.h"

namespace varnel::testing {

using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

inline ObjectRead Found(const std::string& dn, const Attributes& attributes) {
  ObjectRead read;
  read.entry.dn = dn;
  for (const auto& [name, values] : attributes) read.entry.attributes.push_back({name, values});
  return read;
}

inline ObjectRead Missing(int rc = 0x20) { return ObjectRead{rc, {}}; }

// The plan of `action` for an item of `dn` (with the line's field `override`).
inline ItemPlan PlanOf(const Action& action, const std::string& dn, const ObjectRead& object,
                       const PlanFacts& facts = {}, bool debug = false,
                       const std::string& override = "") {
  WorkItem item{dn, override, 1, dn};
  return action.Plan({item, object.found() ? object.entry.dn : dn, object, facts, debug});
}

// Modifications as "op type=v1|v2" texts, for compact comparisons.
inline std::vector<std::string> Describe(const std::vector<LdapModification>& mods) {
  std::vector<std::string> texts;
  for (const LdapModification& mod : mods) {
    std::string text =
        (mod.op == LdapModification::Op::kDelete ? "delete " : "replace ") + mod.type;
    for (size_t i = 0; i < mod.values.size(); ++i) text += (i == 0 ? "=" : "|") + mod.values[i];
    texts.push_back(text);
  }
  return texts;
}

inline RunSettings SettingsFor(RunAction action) {
  RunSettings settings;
  settings.action = action;
  return settings;
}

// An organisation in native mode, as the start-up reads it.
inline StartupFacts NativeMode() {
  StartupFacts startup;
  startup.nativeMode = true;
  return startup;
}

}  // namespace varnel::testing

namespace varnel {
using testing::Describe;
using testing::Found;
using testing::Missing;
using testing::NativeMode;
using testing::PlanOf;
using testing::SettingsFor;
using Strings = std::vector<std::string>;
}  // namespace varnel
