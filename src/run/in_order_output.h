// The run's items shown in input order, whatever order their answers came
// in: an item's lines (standard output, then standard error), its -whatif
// record, its entry in the run's records and the progress line, once every
// item before it has been shown; and at the run's end, the items it never
// showed (not processed, or put back after a failure) recorded in order.
#pragma once

#include <cstddef>
#include <set>
#include <vector>

#include "run/item_pipeline.h"
#include "run/item_result.h"
#include "run/item_slot.h"
#include "run/progress_meter.h"

namespace varnel {

class SendRules;
struct WorkItem;

class InOrderOutput {
 public:
  InOrderOutput(Reporter& reporter, const TickCounter& ticks, RunRecords& records,
                const std::vector<WorkItem>& items, bool whatIf);

  // Shows the ended items at the front of `slots`; without -cont, none after
  // the first failure (`rules`), which wait to be put back or left alone.
  // The run's status in `tally` is the last failure in input order.
  void ShowFinished(SlotQueue& slots, const SendRules& rules, RunTally& tally);
  // True once a record could not be kept or output could not be written:
  // the run ends, as what follows could be neither undone nor shown.
  bool stopped() const { return stopped_; }
  // The run's end: the items not shown, in order (those in `putBack` marked
  // rolled back), the records closed and the progress line ended.
  void ShowRest(SlotQueue& slots, const std::set<size_t>& putBack, RunTally& tally);

 private:
  ItemResult ResultFor(const Slot& slot) const;
  // The item's lines, written once, in its turn.
  void ShowLines(const Slot& slot);
  // The shown item's entry in the run's records, and the progress line;
  // what ends the run, if anything does.
  Outcome Record(const Slot& slot, const RunTally& tally);

  Reporter& reporter_;
  RunRecords& records_;
  const std::vector<WorkItem>& items_;
  bool whatIf_;
  ProgressMeter meter_;
  bool stopped_ = false;
};

}  // namespace varnel
