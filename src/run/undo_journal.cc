#include "run/undo_journal.h"

#include "actions/action.h"
#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/object_plan.h"
#include "ldap/ldap_error.h"
#include "ldap/ldif_record.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {

Outcome UndoJournal::Fail(Reporter& reporter, const std::string& reason) {
  broken_ = true;
  reporter.err() << "ERROR: Cannot write the undo file " << file_->path() << ": " << reason
                 << EndLine;
  return Outcome::Varnel(-1, "cannot write the undo file: " + reason);
}

Outcome UndoJournal::Record(Reporter& reporter, const ObjectPlan& plan, const ObjectRead& before) {
  last_.reset();
  if (broken_) return Outcome::Varnel(-1, "the undo file cannot be written");
  const std::string dnKey = LowerCase(plan.dn);
  std::set<std::string>& covered = covered_[dnKey];
  std::vector<std::string> names;
  for (const LdapModification& mod : plan.mods) {
    const std::string key = LowerCase(mod.type);
    if (covered.contains(key)) continue;
    bool listed = false;
    for (const std::string& name : names) listed = listed || LowerCase(name) == key;
    if (!listed) names.push_back(mod.type);
  }
  if (names.empty()) return Outcome::Ok();

  if (!before.found()) {
    reporter.err() << "ERROR: Cannot read the values to keep in the undo file: "
                   << LdapErrorText(before.rc) << EndLine;
    return Outcome::Ldap(before.rc);
  }
  std::vector<LdapModification> restore;
  for (const std::string& name : names) {
    const std::vector<std::string>* values = before.entry.Find(name);
    restore.push_back({LdapModification::Op::kReplace, name,
                       values != nullptr ? *values : std::vector<std::string>{}});
  }
  const uint64_t sizeBefore = file_->Size();
  std::string error;
  if (!file_->Append(LdifModifyRecord(plan.dn, restore, IsBinaryAttribute), true, &error)) {
    std::string ignored;
    file_->CutTo(sizeBefore, &ignored);  // no half record is left when it can be helped
    return Fail(reporter, error);
  }
  for (const std::string& name : names) covered.insert(LowerCase(name));
  last_ = LastRecord{dnKey, names, sizeBefore};
  return Outcome::Ok();
}

Outcome UndoJournal::TakeBack(Reporter& reporter) {
  if (!last_) return Outcome::Ok();
  std::string error;
  if (!file_->CutTo(last_->sizeBefore, &error)) return Fail(reporter, error);
  std::set<std::string>& covered = covered_[last_->dnKey];
  for (const std::string& name : last_->names) covered.erase(LowerCase(name));
  last_.reset();
  return Outcome::Ok();
}

}  // namespace varnel
