#include "exchange/item_pipeline.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <sstream>

#include "diag/reporter.h"
#include "exchange/item_plan.h"
#include "exchange/object_plan.h"
#include "exchange/progress_meter.h"
#include "exchange/run_records.h"
#include "exchange/run_settings.h"
#include "exchange/work_item.h"
#include "ldap/resilient_session.h"
#include "ldap/result_codes.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// How often one item is tried when the connection is lost and made again.
constexpr int kTriesPerItem = 3;

// One item on its way through the run: looked up, planned, written, shown.
// Its lines are held until every item before it has been shown, so the output
// is the same however many requests are outstanding.
struct Slot {
  size_t index = 0;
  int lookupId = 0;
  int lookupRc = 0;
  bool lookupPending = false;
  std::string storedDn;
  ObjectPlan plan;
  int writeId = 0;
  bool writing = false;
  bool done = false;
  int tries = 0;
  Outcome outcome;
  std::ostringstream out;
  std::ostringstream err;
  std::string record;  // -whatif: the plan as LDIF
};

class ItemPipeline {
 public:
  ItemPipeline(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
               const WorkList& work, const std::vector<std::string>& exchangeAttributes,
               DirectoryObjectService& objectService, const TickCounter& ticks, RunRecords& records)
      : reporter_(reporter),
        session_(session),
        settings_(settings),
        items_(work.items),
        exchangeAttributes_(exchangeAttributes),
        objectService_(objectService),
        records_(records),
        meter_(reporter, ticks, work.items.size()),
        window_(std::max<uint32_t>(settings.window, 1)),
        // Without -cont no write goes out before the one before it has
        // succeeded; an undo record is taken back only while it is the last.
        // The window is shared: when writes go out together, half of it is
        // theirs and half the look-ups', so that neither starves the other
        // (look-ups waited on one at a time would cost a round trip each).
        writeWindow_(settings.continueOnError && !records.undo
                         ? std::max<uint32_t>(window_ - window_ / 2, 1)
                         : 1),
        lookupWindow_(std::max<uint32_t>(window_ - writeWindow_, 1)) {}

  // Runs every item; returns the run's tally.
  RunTally Run();

 private:
  Slot& Front() { return *slots_.front(); }
  Slot& SlotOf(size_t index) { return *slots_[index - shown_]; }
  void StartLookup(size_t index);
  void FinishLookup(Slot& slot);
  void Plan(Slot& slot);
  void FinishOldestWrite();
  // `lost`: the request's answer was lost with the connection.
  void Complete(Slot& slot, const Outcome& outcome, bool lost = false);
  void ShowFinished();
  bool SameObjectInFlight(const Slot& slot) const;
  // Sends out() and err() of the reporter to the slot's lines meanwhile.
  struct Diversion {
    Diversion(Reporter& reporter, Slot& slot) : reporter_(reporter) {
      reporter.Divert(slot.out, slot.err);
    }
    ~Diversion() { reporter_.Restore(); }
    Reporter& reporter_;
  };

  Reporter& reporter_;
  LdapConnection& session_;
  const RunSettings& settings_;
  const std::vector<WorkItem>& items_;
  const std::vector<std::string>& exchangeAttributes_;
  DirectoryObjectService& objectService_;
  RunRecords& records_;
  ProgressMeter meter_;
  const uint32_t window_;  // requests outstanding at most, look-ups and writes together
  const uint32_t writeWindow_;
  const uint32_t lookupWindow_;

  MdbCache mdbCache_;
  RunTally tally_;
  std::deque<std::unique_ptr<Slot>> slots_;  // looked up or further, not yet shown
  size_t shown_ = 0;                         // items shown so far
  size_t inFlight_ = 0;                      // writes outstanding
  size_t lookups_ = 0;                       // look-ups outstanding
  bool stopped_ = false;
};

void ItemPipeline::StartLookup(size_t index) {
  auto slot = std::make_unique<Slot>();
  slot->index = index;
  LdapSearchRequest request = StoredDnRequest(items_[index].dn);
  slot->lookupRc = session_.StartSearch(request, &slot->lookupId);
  slot->lookupPending = slot->lookupRc == 0;
  if (slot->lookupPending) ++lookups_;
  slots_.push_back(std::move(slot));
}

void ItemPipeline::FinishLookup(Slot& slot) {
  if (!slot.lookupPending) return;
  slot.lookupPending = false;
  --lookups_;
  std::vector<LdapEntry> entries;
  const int rc = session_.FinishSearch(slot.lookupId, &entries);
  slot.storedDn = rc == 0 && !entries.empty() ? entries.front().dn : "";
  // Lost with a connection that has been made again: read it again.
  if (IsConnectionLoss(rc) && session_.ConnectionLoss() == 0)
    slot.storedDn = LdapStoredDN(session_, items_[slot.index].dn).value_or("");
}

bool ItemPipeline::SameObjectInFlight(const Slot& slot) const {
  const std::string key = LowerCase(slot.plan.dn);
  for (const auto& other : slots_) {
    if (other.get() != &slot && other->writing && LowerCase(other->plan.dn) == key) return true;
  }
  return false;
}

void ItemPipeline::Plan(Slot& slot) {
  ++tally_.processed;
  ++slot.tries;
  Diversion diversion(reporter_, slot);
  slot.plan = ObjectPlan();
  Outcome outcome = PlanItem(reporter_, session_, settings_, items_[slot.index], slot.storedDn,
                             exchangeAttributes_, objectService_, mdbCache_, &slot.plan);
  // Planned while the server went away for good: nothing was sent, and the
  // item is left for the run that follows, like every item after it.
  if (!outcome.ok() && session_.ConnectionLoss() != 0 && slot.tries == 1) {
    --tally_.processed;
    return;
  }
  if (!outcome.ok() || slot.plan.mods.empty()) return Complete(slot, outcome);
  if (settings_.whatIf) {
    slot.record = PlanAsLdif(slot.plan);
    return Complete(slot, outcome);
  }
  if (records_.undo) {
    if (Outcome kept = records_.undo->Record(reporter_, session_, slot.plan); !kept.ok())
      return Complete(slot, kept);
  }
  const int rc = session_.StartModify(slot.plan.dn, slot.plan.mods, &slot.writeId);
  if (rc != 0) return Complete(slot, PlanResult(reporter_, slot.plan, rc), IsConnectionLoss(rc));
  slot.writing = true;
  ++inFlight_;
}

void ItemPipeline::FinishOldestWrite() {
  for (auto& slot : slots_) {
    if (!slot->writing) continue;
    slot->writing = false;
    --inFlight_;
    const int rc = session_.FinishModify(slot->writeId);
    Diversion diversion(reporter_, *slot);
    Outcome outcome = PlanResult(reporter_, slot->plan, rc);
    if (!outcome.ok() && records_.undo && !MayHaveLanded(rc)) {
      if (Outcome back = records_.undo->TakeBack(reporter_); !back.ok()) outcome = back;
    }
    return Complete(*slot, outcome, IsConnectionLoss(rc));
  }
}

void ItemPipeline::Complete(Slot& slot, const Outcome& outcome, bool lost) {
  // A change whose answer was lost with the connection may have landed: once
  // the connection is made again, the object is read and planned anew, so
  // nothing is applied twice.
  if (lost && session_.ConnectionLoss() == 0 && slot.tries < kTriesPerItem) {
    {
      Diversion diversion(reporter_, slot);
      reporter_.err() << "WARN: The connection to the directory server was lost and made again; "
                         "trying this object again."
                      << EndLine;
    }
    --tally_.processed;
    slot.storedDn = LdapStoredDN(session_, items_[slot.index].dn).value_or("");
    Plan(slot);
    while (slot.writing) FinishOldestWrite();
    return;
  }
  slot.done = true;
  slot.outcome = outcome;
  if (outcome.ok()) {
    ++tally_.successful;
  } else {
    ++tally_.errors;
    tally_.lastError = outcome;
  }
}

void ItemPipeline::ShowFinished() {
  // After a stop, items that were already on their way are still shown as
  // they ended.
  while (!slots_.empty() && Front().done) {
    Slot& slot = Front();
    reporter_.out() << slot.out.str();
    reporter_.err() << slot.err.str() << std::flush;
    if (slot.outcome.ok()) {
      reporter_.out() << EndLine;
      if (!slot.record.empty()) reporter_.data() << slot.record << std::flush;
    }
    const Outcome recorded =
        records_.ItemEnded(reporter_, items_[slot.index], ResultOf(slot.outcome, slot.storedDn));
    meter_.Update(slot.index + 1, tally_.errors);
    // A record that could not be kept ends the run: what follows could not
    // be undone or accounted for.
    const Outcome broken = !recorded.ok()                             ? recorded
                           : records_.undo && records_.undo->broken() ? slot.outcome
                                                                      : Outcome::Ok();
    slots_.pop_front();
    ++shown_;
    if (stopped_) continue;
    if (!broken.ok()) {
      tally_.lastError = broken;
      stopped_ = true;
    }
  }
}

RunTally ItemPipeline::Run() {
  size_t nextLookup = 0;
  size_t nextPlan = 0;
  for (;;) {
    while (nextLookup < items_.size() && lookups_ < lookupWindow_ && lookups_ + inFlight_ < window_)
      StartLookup(nextLookup++);
    ShowFinished();
    if (stopped_) break;
    // A server that stays away ends the run, with the loss's code: nothing
    // more is planned, and what is on its way is finished and shown first.
    if (const int loss = session_.ConnectionLoss(); loss != 0) {
      if (inFlight_ != 0) {
        FinishOldestWrite();
        continue;
      }
      reporter_.err() << "ERROR: Lost the connection to the directory server and could not "
                         "connect again; stopping."
                      << EndLine;
      tally_.lastError = Outcome::Ldap(loss);
      break;
    }
    if (nextPlan == items_.size()) {
      if (inFlight_ == 0) break;
      FinishOldestWrite();
      continue;
    }
    // The stop rules, exactly as if one request at a time went out.
    if (settings_.upto != 0 && tally_.successful + inFlight_ >= settings_.upto) {
      if (inFlight_ != 0) {
        FinishOldestWrite();
        continue;
      }
      reporter_.out() << "WARN: UpTo limit achieved, stopping..." << EndLine;
      break;
    }
    if (!settings_.continueOnError && (inFlight_ != 0 || tally_.errors != 0)) {
      if (inFlight_ != 0) {
        FinishOldestWrite();
        continue;
      }
      reporter_.out() << "ERROR: Too many Errors, stopping..." << EndLine;
      break;
    }
    if (nextLookup == nextPlan) {  // the window is full of writes
      if (inFlight_ != 0) {
        FinishOldestWrite();
        continue;
      }
      StartLookup(nextLookup++);
    }
    Slot& slot = SlotOf(nextPlan);
    FinishLookup(slot);
    if (inFlight_ >= writeWindow_ || lookups_ + inFlight_ >= window_) {
      FinishOldestWrite();
      continue;
    }
    // Two items that name the same object are never in flight together, and
    // the later one is planned from what the earlier one left.
    slot.plan.dn = slot.storedDn.empty() ? items_[slot.index].dn : slot.storedDn;
    if (SameObjectInFlight(slot)) {
      FinishOldestWrite();
      continue;
    }
    Plan(slot);
    ++nextPlan;
  }
  // Requests still outstanding are answered before the run ends.
  while (inFlight_ != 0) FinishOldestWrite();
  ShowFinished();
  for (auto& slot : slots_) {
    if (slot->lookupPending) {
      std::vector<LdapEntry> ignored;
      session_.FinishSearch(slot->lookupId, &ignored);
    }
  }
  for (size_t index = shown_; index < items_.size(); ++index) {
    records_.ItemEnded(reporter_, items_[index], {ItemOutcome::kNotProcessed, "", 0, ""});
  }
  if (Outcome finished = records_.Finish(reporter_); !finished.ok()) tally_.lastError = finished;
  meter_.Finish();
  return tally_;
}

}  // namespace

RunTally RunItemPipeline(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks,
                         RunRecords& records) {
  ItemPipeline pipeline(reporter, session, settings, work, exchangeAttributes, objectService, ticks,
                        records);
  return pipeline.Run();
}

}  // namespace varnel
