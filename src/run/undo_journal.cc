#include "run/undo_journal.h"

#include <algorithm>

#include "actions/action.h"
#include "diag/item_lines.h"
#include "exchange/exchange_attributes.h"
#include "exchange/object_plan.h"
#include "ldap/ldap_error.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// Values of one attribute, as the server matches them when a value is
// deleted or added: text without regard to letter case, binary byte for byte.
struct ValueMatch {
  bool binary = false;
  bool operator()(const std::string& a, const std::string& b) const {
    return binary ? a == b : LowerCase(a) == LowerCase(b);
  }
};

bool Holds(const std::vector<std::string>& values, const std::string& value, ValueMatch match) {
  return std::any_of(values.begin(), values.end(),
                     [&](const std::string& held) { return match(held, value); });
}

bool SameValues(const std::vector<std::string>& a, const std::vector<std::string>& b,
                ValueMatch match) {
  if (a.size() != b.size()) return false;
  return std::all_of(a.begin(), a.end(), [&](const std::string& v) { return Holds(b, v, match); });
}

// Lower-case attribute name -> values: an object as far as its records go.
using Values = std::map<std::string, std::vector<std::string>>;

// The record replayed on `object`: false, and the object left as it was,
// when the server would refuse it.
bool Replay(const std::vector<LdifValueChange>& record, Values* object) {
  Values after = *object;
  for (const LdifValueChange& change : record) {
    const ValueMatch match{IsBinaryAttribute(change.type)};
    std::vector<std::string>& values = after[LowerCase(change.type)];
    for (const std::string& value : change.deleted) {
      auto held = std::find_if(values.begin(), values.end(),
                               [&](const std::string& v) { return match(v, value); });
      if (held == values.end()) return false;
      values.erase(held);
    }
    for (const std::string& value : change.added) {
      if (Holds(values, value, match)) return false;
      values.push_back(value);
    }
  }
  *object = std::move(after);
  return true;
}

}  // namespace

Outcome UndoJournal::Fail(ItemLines& lines, const std::string& reason) {
  broken_ = true;
  lines.ErrLine("ERROR: Cannot write the undo file " + file_->path() + ": " + reason);
  return Outcome::Varnel(-1, "cannot write the undo file: " + reason);
}

Outcome UndoJournal::Record(ItemLines& lines, const ObjectPlan& plan, const ObjectRead& before) {
  if (broken_) return Outcome::Varnel(-1, "the undo file cannot be written");
  if (plan.mods.empty()) return Outcome::Ok();
  if (!before.found()) {
    lines.ErrLine(std::string("ERROR: Cannot read the values to keep in the undo file: ") +
                  LdapErrorText(before.rc));
    return Outcome::Ldap(before.rc);
  }
  History& history = objects_[LowerCase(plan.dn)];
  const auto find = [&history](const std::string& key) {
    return std::find_if(history.original.begin(), history.original.end(),
                        [&key](const Original& o) { return LowerCase(o.name) == key; });
  };
  for (const LdapModification& mod : plan.mods) {
    if (find(LowerCase(mod.type)) != history.original.end()) continue;
    const std::vector<std::string>* values = before.entry.Find(mod.type);
    history.original.push_back(
        {mod.type, values != nullptr ? *values : std::vector<std::string>{}});
  }

  // The object as this change leaves it, then as the earlier records of it
  // leave that when the file is replayed: the record takes it from there back
  // to the values before the run.
  Values object;
  for (const Original& original : history.original) {
    const std::vector<std::string>* values = before.entry.Find(original.name);
    object[LowerCase(original.name)] = values != nullptr ? *values : std::vector<std::string>{};
  }
  for (const LdapModification& mod : plan.mods)
    object[LowerCase(mod.type)] =
        mod.op == LdapModification::Op::kDelete ? std::vector<std::string>{} : mod.values;
  for (const std::vector<LdifValueChange>& earlier : history.records) Replay(earlier, &object);

  std::vector<LdifValueChange> record;
  for (const Original& original : history.original) {
    const std::vector<std::string>& now = object[LowerCase(original.name)];
    if (!SameValues(now, original.values, ValueMatch{IsBinaryAttribute(original.name)}))
      record.push_back({original.name, now, original.values});
  }
  if (record.empty()) return Outcome::Ok();

  std::string error;
  if (!file_->Append(LdifValueChangeRecord(plan.dn, record, IsBinaryAttribute), false, &error))
    return Fail(lines, error);
  unsynced_ = true;
  history.records.push_back(std::move(record));
  return Outcome::Ok();
}

Outcome UndoJournal::Sync(ItemLines& lines) {
  if (broken_) return Outcome::Varnel(-1, "the undo file cannot be written");
  if (!unsynced_) return Outcome::Ok();
  std::string error;
  if (!file_->Sync(&error)) return Fail(lines, error);
  unsynced_ = false;
  return Outcome::Ok();
}

}  // namespace varnel
