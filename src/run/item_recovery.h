// What the run does about requests whose outcome it did not see through:
//   - an answer lost with the connection: once the connection is made again
//     the item is sent back to its read, and a write that may have landed is
//     looked for in what the read finds, so that nothing is applied twice;
//   - without -cont, the writes after the first failure in input order that
//     went out together with it and landed: each is put back by value, as
//     if the run had stopped at the failure one request at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <set>

#include "run/item_pipeline.h"
#include "run/item_slot.h"

namespace varnel {

class ItemRecovery {
 public:
  // How often one item is tried when the connection is lost and made again.
  static constexpr int kTriesPerItem = 3;

  explicit ItemRecovery(RequestChannel& channel) : channel_(channel) {}

  // An item whose answer was lost: true when it goes back to its read (the
  // connection is back, the run is not `stopping`, and it has tries left).
  // Its lines say so; the caller sends the read.
  bool SendBack(Slot& slot, bool stopping);
  // Items sent back to their read and not yet planned again.
  size_t sentBack() const { return sentBack_; }
  // The earliest item sent back whose read is in, or null.
  Slot* NextToPlan(SlotQueue& slots) const;
  // The item sent back is planned again.
  void Replanning(Slot& slot);
  // An item whose write was lost, read again: how it ended when that is
  // settled (the object holds the write, or the server never came back to
  // tell); nothing when it is to be planned anew.
  std::optional<Outcome> Settle(Slot& slot) const;

  // Without -cont, the run ended by the failure of item `firstFailure`:
  // the items after it leave the tally, and their writes that landed are put
  // back (latest first). A write that could not be put back, or may or may
  // not have landed, stays shown and counted.
  void PutBackAfterTheFailure(SlotQueue& slots, size_t firstFailure, bool whatIf, RunTally& tally);
  // The items whose writes were put back.
  const std::set<size_t>& putBack() const { return putBack_; }

 private:
  // The put-back of one item's write; false when the server refused it.
  bool PutBack(Slot& slot);

  RequestChannel& channel_;
  size_t sentBack_ = 0;
  std::set<size_t> putBack_;
};

}  // namespace varnel
