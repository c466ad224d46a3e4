#include "run/in_order_output.h"

#include "diag/reporter.h"
#include "exchange/work_item.h"
#include "run/run_records.h"
#include "run/send_rules.h"

namespace varnel {

InOrderOutput::InOrderOutput(Reporter& reporter, const TickCounter& ticks, RunRecords& records,
                             const std::vector<WorkItem>& items, bool whatIf)
    : reporter_(reporter),
      records_(records),
      items_(items),
      whatIf_(whatIf),
      meter_(reporter, ticks, items.size()) {}

ItemResult InOrderOutput::ResultFor(const Slot& slot) const {
  ItemResult result = ResultOf(slot.outcome, slot.StoredDn());
  if (slot.unknown) {
    result.outcome = ItemOutcome::kUnknown;
    result.message = "may have changed";
  } else if (slot.outcome.ok() && slot.unchanged) {
    result.outcome = ItemOutcome::kUnchanged;
  } else if (slot.outcome.ok() && whatIf_ && !slot.record.empty()) {
    result.outcome = ItemOutcome::kPlanned;
  }
  if (slot.outcome.ok() || slot.unknown) result.changed = slot.changed;
  if (!slot.outcome.ok()) result.diagnostic = slot.diagnostic;
  return result;
}

void InOrderOutput::ShowLines(const Slot& slot) {
  // All of the item's standard output, then all of its standard error,
  // whatever order they were added in.
  reporter_.out() << slot.lines.out();
  reporter_.err() << slot.lines.err() << std::flush;
}

void InOrderOutput::ShowFinished(SlotQueue& slots, const SendRules& rules, RunTally& tally) {
  // After a stop, items that were already on their way are still shown as
  // they ended.
  while (!slots.empty() && slots.Front().state == Slot::State::kDone) {
    Slot& slot = slots.Front();
    // Items after a failure wait to be put back or left alone.
    if (rules.HaltedBefore(slot.index)) break;
    ShowLines(slot);
    if (slot.outcome.ok()) {
      reporter_.out() << EndLine;
      if (!slot.record.empty()) reporter_.data() << slot.record << std::flush;
    }
    const Outcome broken = Record(slot, tally);
    // The run's status is the last failure in input order; a stop keeps its
    // own.
    if (!stopped_ && !slot.outcome.ok()) tally.lastError = slot.outcome;
    slots.PopFront();
    if (stopped_) continue;
    if (!broken.ok()) {
      tally.lastError = broken;
      stopped_ = true;
    }
  }
}

Outcome InOrderOutput::Record(const Slot& slot, const RunTally& tally) {
  const Outcome recorded = records_.ItemEnded(reporter_, items_[slot.index], ResultFor(slot));
  meter_.Update(slot.index + 1, tally.errors);
  // A record that could not be kept ends the run: what follows could not
  // be undone or accounted for.
  // Output that cannot be written stops the run as a broken record does:
  // what follows could not be shown.
  return !recorded.ok()                             ? recorded
         : records_.undo && records_.undo->broken() ? slot.outcome
         : reporter_.lostOutput()                   ? Outcome::Varnel(-1, "output lost")
                                                    : Outcome::Ok();
}

void InOrderOutput::ShowRest(SlotQueue& slots, const std::set<size_t>& putBack, RunTally& tally) {
  for (size_t index = slots.shown(); index < items_.size(); ++index) {
    Slot* slot = slots.Find(index);
    // A write that could not be put back is what it is: shown, and counted.
    if (slot != nullptr && slot->state == Slot::State::kDone && slot->shownAfterTheFailure) {
      ShowLines(*slot);
      if (slot->outcome.ok()) reporter_.out() << EndLine;
      records_.ItemEnded(reporter_, items_[index], ResultFor(*slot));
      continue;
    }
    ItemResult result = NotProcessed();
    result.rolledBack = putBack.contains(index);
    records_.ItemEnded(reporter_, items_[index], result);
  }
  if (Outcome finished = records_.Finish(reporter_); !finished.ok()) tally.lastError = finished;
  meter_.Finish();
}

}  // namespace varnel
