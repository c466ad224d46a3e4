// One work item on its way through the run's loop (read, planned, written,
// shown), and the items of the run that are read or further but not yet
// shown, in input order. Everything that speaks of one item adds its text to
// the slot's lines, which are shown once every item before it has been.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actions/action.h"
#include "diag/item_lines.h"
#include "diag/outcome.h"

namespace varnel {

struct Slot {
  enum class State { kReading, kRead, kWriting, kDone };
  size_t index = 0;
  State state = State::kReading;
  uint64_t readSentAt = 0;  // the loop's clock when its read went out
  int readTries = 0;
  uint32_t sentAt = 0;  // the tick its request went out
  // Answered busy or unavailable: its request goes out again at retryAt;
  // loadRc is that answer, loadSince the tick of the item's first such.
  bool waiting = false;
  uint32_t retryAt = 0;
  int loadRc = 0;
  uint32_t loadSince = 0;
  int loadTries = 0;
  std::string writingKey;  // while kWriting: the object it writes
  bool again = false;      // sent back to its read by a lost answer: to be planned again
  ObjectRead object;
  ObjectPlan plan;
  bool unchanged = false;  // the object held what the plan would write
  std::vector<std::string> changed;
  std::string diagnostic;  // the server's text for the request that failed
  // A write whose answer was lost with the connection: what it sent, to be
  // found in the object when it landed.
  std::optional<std::vector<LdapModification>> lostWrite;
  bool unknown = false;  // lost, and the server never came back to tell
  int tries = 0;
  // The object as read when the plan that was sent was made: what a put-back
  // restores.
  LdapEntry plannedFrom;
  bool notSent = false;  // after a failure before it: planned again, but nothing went out
  bool shownAfterTheFailure = false;  // after a failure, but its write could not be put back
  Outcome outcome;
  ItemLines lines;     // what it shows, in its turn
  std::string record;  // -whatif: the plan as LDIF

  std::string StoredDn() const { return object.found() ? object.entry.dn : ""; }
};

// The items read and not yet shown: the first is item shown().
class SlotQueue {
 public:
  using Slots = std::deque<std::unique_ptr<Slot>>;

  Slot& Add(size_t index) {
    slots_.push_back(std::make_unique<Slot>());
    slots_.back()->index = index;
    return *slots_.back();
  }
  bool empty() const { return slots_.empty(); }
  size_t size() const { return slots_.size(); }
  size_t shown() const { return shown_; }
  Slot& Front() { return *slots_.front(); }
  void PopFront() {
    slots_.pop_front();
    ++shown_;
  }
  // The i-th slot held, counted from the front.
  Slot& Nth(size_t i) { return *slots_[i]; }
  // The item at `index` in input order, read and not yet shown.
  Slot& At(size_t index) { return *slots_[index - shown_]; }
  // The same, or null when it was never read.
  Slot* Find(size_t index) {
    return index - shown_ < slots_.size() ? slots_[index - shown_].get() : nullptr;
  }
  Slots::iterator begin() { return slots_.begin(); }
  Slots::iterator end() { return slots_.end(); }
  Slots::reverse_iterator rbegin() { return slots_.rbegin(); }
  Slots::reverse_iterator rend() { return slots_.rend(); }

 private:
  Slots slots_;
  size_t shown_ = 0;  // items shown so far
};

}  // namespace varnel
