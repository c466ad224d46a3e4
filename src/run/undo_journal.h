// The undo file of a run: before an object's change is sent, a record that
// sets every attribute the change touches back to the values the object holds
// then, flushed to disk, so that replaying the file with ldapmodify restores
// every object the run changed, in any order, even after a crash.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "platform/record_file.h"

namespace varnel {

class Reporter;
struct ObjectPlan;
struct ObjectRead;

class UndoJournal {
 public:
  explicit UndoJournal(std::unique_ptr<RecordFile> file) : file_(std::move(file)) {}

  // Appends the record that restores the attributes the plan touches that no
  // earlier record of the same object holds (`replace:` with their values in
  // `before`, the object as read for the plan, or with none where it lacks
  // them). An object met again keeps the values from before its first change.
  // An object that could not be read fails the item; a failed write also
  // breaks the journal.
  Outcome Record(Reporter& reporter, const ObjectPlan& plan, const ObjectRead& before);

  // Removes the record Record wrote last: the server refused the change it
  // guarded, so the object still holds those values.
  Outcome TakeBack(Reporter& reporter);

  // After a failed write: no further change may be sent, since it could not
  // be undone.
  bool broken() const { return broken_; }

 private:
  Outcome Fail(Reporter& reporter, const std::string& reason);

  std::unique_ptr<RecordFile> file_;
  // Lower-case DN -> lower-case names of the attributes a record holds.
  std::map<std::string, std::set<std::string>> covered_;
  struct LastRecord {
    std::string dnKey;
    std::vector<std::string> names;
    uint64_t sizeBefore = 0;
  };
  std::optional<LastRecord> last_;
  bool broken_ = false;
};

}  // namespace varnel
