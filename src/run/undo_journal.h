// The undo file of a run: before an object's change is sent, a record that
// undoes exactly that change, by value, on disk. For each attribute the
// change writes, the record deletes the values the run left and adds back
// those the object held before the run changed it. A modify is atomic, and
// the server refuses a delete of a value that is not there
// (noSuchAttribute) and an add of one that is (attributeOrValueExists), so
// that `ldapmodify -c -S skipped.ldif -f undo.ldif` restores every object
// that still holds what the run left and refuses, whole, every record whose
// object holds something else:
//   - the object was changed after the run (what changed it is kept);
//   - the write the record guards never landed (the server refused it, or
//     it was not sent): there is nothing to undo;
//   - a later record of the same object restores it instead (below).
// An object met more than once is undone by its last record that landed:
// each record is made for the object as the earlier records of that object
// would leave it when replayed in file order after this change, and takes it
// back to the values from before the run's first change of each attribute.
// A record of a write that never landed is then refused as well, since the
// object holds those earlier values once the earlier records are replayed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldif_record.h"
#include "platform/record_file.h"

namespace varnel {

class ItemLines;
struct ObjectPlan;
struct ObjectRead;

class UndoJournal {
 public:
  explicit UndoJournal(std::unique_ptr<RecordFile> file) : file_(std::move(file)) {}

  // Appends the record that undoes the plan's change of `before` (the object
  // as read for the plan), or none when replaying the object's earlier
  // records would restore it already. The record is not yet on disk: Sync
  // puts every record appended so far there at once, and no write may go
  // out before that. An object that could not be read fails the item; a
  // failed write also breaks the journal. Either's error line is added to
  // the item's `lines`.
  Outcome Record(ItemLines& lines, const ObjectPlan& plan, const ObjectRead& before);

  // Flushes every record appended since the last Sync to the disk. A
  // failure breaks the journal: the writes those records guard must not go
  // out (a record of a write never sent is refused when replayed); its
  // error line is added to `lines`.
  Outcome Sync(ItemLines& lines);

  // After a failed write: no further change may be sent, since it could not
  // be undone.
  bool broken() const { return broken_; }

 private:
  // What the records of one object hold, to make its next record from.
  struct Original {
    std::string name;                 // as the first change of it spelled it
    std::vector<std::string> values;  // before the run first changed it
  };
  struct History {
    std::vector<Original> original;  // every attribute the records touch, in order
    std::vector<std::vector<LdifValueChange>> records;
  };

  Outcome Fail(ItemLines& lines, const std::string& reason);

  std::unique_ptr<RecordFile> file_;
  std::map<std::string, History> objects_;  // by lower-case DN
  bool unsynced_ = false;
  bool broken_ = false;
};

}  // namespace varnel
