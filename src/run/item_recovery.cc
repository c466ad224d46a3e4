#include "run/item_recovery.h"

#include <set>
#include <string>
#include <vector>

#include "exchange/object_plan.h"
#include "ldap/ldap_error.h"
#include "ldap/result_codes.h"
#include "run/request_channel.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// The change that puts back what one write left, made as the undo file's
// records are: for each attribute the write changed, its values as the write
// left them are deleted by value and those the object held before are added
// by value, in one modify, so that the server refuses it whole when the
// object changed since. `before` is the object as read for the plan.
std::vector<LdapModification> PutBackModifications(const ObjectPlan& plan,
                                                   const LdapEntry& before) {
  LdapEntry after = before;
  ApplyModifications(plan.mods, &after);
  std::vector<LdapModification> putBack;
  std::set<std::string> done;
  for (const LdapModification& mod : plan.mods) {
    if (!done.insert(LowerCase(mod.type)).second) continue;
    const std::vector<std::string>* left = after.Find(mod.type);
    const std::vector<std::string>* held = before.Find(mod.type);
    if (left != nullptr && !left->empty())
      putBack.push_back({LdapModification::Op::kDelete, mod.type, *left});
    if (held != nullptr && !held->empty())
      putBack.push_back({LdapModification::Op::kAdd, mod.type, *held});
  }
  return putBack;
}

}  // namespace

bool ItemRecovery::SendBack(Slot& slot, bool stopping) {
  if (channel_.ConnectionLoss() != 0 || stopping || slot.tries >= kTriesPerItem) return false;
  slot.lines.ErrLine(
      "WARN: The connection to the directory server was lost and made again; trying this object "
      "again.");
  slot.again = true;
  ++sentBack_;
  slot.readTries = 0;
  if (slot.state == Slot::State::kWriting || !slot.plan.mods.empty())
    slot.lostWrite = slot.plan.mods;
  return true;
}

Slot* ItemRecovery::NextToPlan(SlotQueue& slots) const {
  if (sentBack_ == 0) return nullptr;
  for (auto& slot : slots) {
    if (slot->again && slot->state == Slot::State::kRead) return slot.get();
  }
  return nullptr;
}

void ItemRecovery::Replanning(Slot& slot) {
  if (!slot.again) return;
  slot.again = false;
  --sentBack_;
}

std::optional<Outcome> ItemRecovery::Settle(Slot& slot) const {
  if (!slot.lostWrite) return std::nullopt;
  // The change whose answer was lost landed: the object holds it.
  if (slot.object.found() && HoldsModifications(slot.object.entry, *slot.lostWrite)) {
    slot.changed = ChangedAttributes(*slot.lostWrite);
    return Outcome::Ok();
  }
  // It cannot be told whether it landed.
  if (!slot.object.found() && channel_.ConnectionLoss() != 0) {
    slot.unknown = true;
    return Outcome::Ldap(channel_.ConnectionLoss());
  }
  return std::nullopt;
}

bool ItemRecovery::PutBack(Slot& slot) {
  const std::vector<LdapModification> mods = PutBackModifications(slot.plan, slot.plannedFrom);
  ChannelAnswer answer;
  // Every other request has been answered: the next answer is this one's.
  int rc = channel_.StartWrite(slot.index, slot.plan.dn, mods);
  if (rc == 0) rc = channel_.TakeAnswer(&answer) ? answer.rc : kLdapServerDown;
  if (rc == 0) return true;
  slot.lines.ErrLine(std::string("WARNING: The run stopped at an earlier failure, but this "
                                 "object's change could not be put back: ") +
                     LdapErrorText(rc));
  return false;
}

void ItemRecovery::PutBackAfterTheFailure(SlotQueue& slots, size_t firstFailure, bool whatIf,
                                          RunTally& tally) {
  // Latest first: of two items of one object, the later change is taken back
  // before the earlier.
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
    Slot& slot = **it;
    if (slot.index <= firstFailure) continue;
    const bool planned = slot.tries != 0 && !slot.again;
    if (slot.state != Slot::State::kDone) {
      if (planned) --tally.processed;
      continue;
    }
    const bool landed =
        slot.outcome.ok() && !slot.notSent && !slot.unchanged && !slot.plan.mods.empty() && !whatIf;
    // A write that may or may not have landed cannot be put back by value.
    if (slot.unknown || (landed && !PutBack(slot))) {
      slot.shownAfterTheFailure = true;
      continue;
    }
    if (landed) putBack_.insert(slot.index);
    --tally.processed;
    if (slot.outcome.ok()) {
      --tally.successful;
    } else {
      --tally.errors;
    }
  }
}

}  // namespace varnel
