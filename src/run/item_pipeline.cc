#include "run/item_pipeline.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "actions/action.h"
#include "diag/reporter.h"
#include "exchange/run_settings.h"
#include "exchange/work_item.h"
#include "ldap/resilient_session.h"
#include "ldap/result_codes.h"
#include "platform/stop_request.h"
#include "platform/tick_counter.h"
#include "run/in_order_output.h"
#include "run/item_preview.h"
#include "run/item_recovery.h"
#include "run/item_slot.h"
#include "run/item_step.h"
#include "run/request_channel.h"
#include "run/run_records.h"
#include "run/send_rules.h"
#include "run/write_result.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// A request the server answered busy or unavailable is sent again after a
// pause that doubles from the first to the longest, the later half of each
// drawn at random so that the requests turned away together do not come
// back together. None is sent again later than the retry window of a lost
// connection after the server began to answer so, and none later than that
// after its own first such answer.
constexpr uint32_t kFirstLoadPauseMs = 100;
constexpr uint32_t kLongestLoadPauseMs = 3200;
constexpr uint32_t kLoadRetryWindowMs = ResilientSession::kRetryWindowMs;

bool IsServerLoad(int rc) { return rc == kLdapBusy || rc == kLdapUnavailable; }

class ItemPipeline {
 public:
  ItemPipeline(Reporter& reporter, RequestChannel& channel, RunFacts& facts, const Action& action,
               const RunSettings& settings, const WorkList& work, const TickCounter& ticks,
               RunRecords& records, const StopRequest& stop,
               const std::function<void(uint32_t)>& pause)
      : reporter_(reporter),
        channel_(channel),
        facts_(facts),
        action_(action),
        settings_(settings),
        items_(work.items),
        records_(records),
        ticks_(ticks),
        stop_(stop),
        pause_(pause),
        output_(reporter, ticks, records, work.items, settings.whatIf),
        rules_(SendLimitsOf(settings)),
        jitter_(ticks.Now()),
        preview_(settings.whatIf, work.items),
        recovery_(channel),
        read_(ObjectReadRequest(action, "")) {}

  RunTally Run();

 private:
  // One turn of the loop while items are still to be planned: reads started
  // as the window and -rate allow, finished items shown, then one item
  // planned or one answer taken. False when the loop ends.
  bool SendNext();
  void StartReads();
  // The connection is lost for good: the answers on their way are taken,
  // then the loop ends.
  bool FinishBeforeLoss(int loss);
  // The stop rules, exactly as if one request at a time went out: whether
  // the loop goes on, or nothing when they let the next item be planned.
  std::optional<bool> StopRulesSay();
  // Plans the next item in input order, once its read is in and the window
  // has room for its write.
  bool PlanNext();
  // Every item planned: the answers still outstanding.
  void AnswerTheRest();
  // The stop, the put-backs after a failure, the run's status and the items
  // not shown.
  void EndRun();

  // Requests outstanding, those waiting to go out again included.
  size_t Outstanding() const { return reads_ + writes_; }
  // Without -cont a failure ends the run as it would have one request at a
  // time: the held writes after it are not sent, the writes after it that
  // landed are put back, and only then the run's last lines are shown.
  void DropHeldWritesAfterTheFailure();
  // Every change of an item's state goes here: the rules hear of its writes.
  void SetState(Slot& slot, Slot::State state);
  void StartRead(Slot& slot);
  void NewSlot(size_t index);
  // Takes one answer and gives it to its item, or sends again the requests
  // whose wait has ended (pausing for the first when nothing else is on its
  // way); false when none is outstanding. The writes held for their undo
  // records go out first, unless `holdWrites` (the wait is for a read, whose
  // item may join them) and a read is on its way.
  bool TakeAnswer(bool holdWrites = false);
  // The requests waiting to go out again after a busy server's answer:
  // ended at a stop, sent once their wait is over, or waited for when
  // nothing else is on its way. True when it did anything.
  bool TendWaiting();
  // Group commit: the undo records of the held writes go to disk together,
  // then the writes go out; none of them when the records cannot be kept.
  void SendHeldWrites();
  void SendWrite(Slot& slot);
  // A busy or unavailable answer: true when its request will be sent again.
  bool WaitAfterLoad(Slot& slot, const ChannelAnswer& answer, uint32_t now);
  // Sends again the requests whose wait has ended, as the window allows;
  // true when it did anything.
  bool SendWaitingAgain();
  // Ends the items whose requests wait to go out again as their last answer
  // said: the run is stopping, and sends nothing more.
  void EndWaiting();
  // Ends one waiting item with the answer it last had.
  void EndWaitingItem(Slot& slot);
  void ReadAnswered(Slot& slot, ChannelAnswer& answer);
  void WriteAnswered(Slot& slot, int rc);
  // Plans the item and sends its write (or ends it).
  void Plan(Slot& slot);
  // True (and the item no longer counted) when the server went away for good
  // before anything of the item was sent: it is left for the run that follows.
  bool LeftForTheNextRun(Slot& slot);
  // `lost`: the request's answer was lost with the connection.
  void Complete(Slot& slot, const Outcome& outcome, bool lost = false);
  void ShowFinished() { output_.ShowFinished(slots_, rules_, tally_); }
  // True once a stop was asked for while an item had not yet ended.
  bool StopAsked();
  // True when nothing is on its way and nothing more will be sent.
  bool AllEnded() const;
  // After a stop: the answers on their way, until kStopWaitMs after the
  // signal at most.
  void EndAfterStop();
  // -v: the server's diagnostic after the item's error line, in its lines.
  void ShowDiagnostic(Slot& slot);
  // True when the item may be planned now; otherwise a wait was made (an
  // answer taken, or its read sent again).
  bool ReadyToPlan(Slot& slot);
  static std::string KeyOf(const Slot& slot, const WorkItem& item) {
    return LowerCase(slot.object.found() ? slot.object.entry.dn : item.dn);
  }

  Reporter& reporter_;
  RequestChannel& channel_;
  RunFacts& facts_;
  const Action& action_;
  const RunSettings& settings_;
  const std::vector<WorkItem>& items_;
  RunRecords& records_;
  const TickCounter& ticks_;
  const StopRequest& stop_;
  const std::function<void(uint32_t)>& pause_;  // waits so many milliseconds
  InOrderOutput output_;
  SendRules rules_;
  std::minstd_rand jitter_;
  ItemPreview preview_;
  ItemRecovery recovery_;
  LdapSearchRequest read_;  // the one read of every object, its base left to fill

  RunTally tally_;
  SlotQueue slots_;
  size_t nextRead_ = 0;
  size_t nextPlan_ = 0;
  size_t reads_ = 0;    // reads outstanding
  size_t writes_ = 0;   // writes outstanding
  size_t waiting_ = 0;  // requests to go out again after a busy server's answer
  // The tick of the first busy or unavailable answer since the server last
  // answered otherwise.
  std::optional<uint32_t> loadSince_;
  bool sending_ = true;                      // false once the loop has planned its last item
  int stopSignal_ = 0;                       // the signal that asked the run to end
  Outcome lossError_;                        // the loss of a server that stayed away
  uint64_t clock_ = 0;                       // counts reads sent and writes answered
  std::map<std::string, uint64_t> written_;  // lower-case DN -> clock of its last write's answer
  // Planned, their undo records appended but not yet on disk: counted as
  // writes outstanding, not yet sent.
  std::vector<Slot*> held_;
};

void ItemPipeline::SetState(Slot& slot, Slot::State state) {
  if (slot.state == Slot::State::kWriting) rules_.WriteBack(slot.writingKey);
  if (state == Slot::State::kWriting) {
    slot.writingKey = KeyOf(slot, items_[slot.index]);
    rules_.WriteOut(slot.writingKey);
  }
  slot.state = state;
}

void ItemPipeline::StartRead(Slot& slot) {
  LdapSearchRequest request = read_;
  request.base = items_[slot.index].dn;
  slot.readSentAt = ++clock_;
  slot.sentAt = ticks_.Now();
  const int rc = channel_.StartRead(slot.index, request);
  if (rc == 0) {
    SetState(slot, Slot::State::kReading);
    ++reads_;
    return;
  }
  slot.object = ObjectRead{rc, {}};
  SetState(slot, Slot::State::kRead);
}

void ItemPipeline::NewSlot(size_t index) {
  rules_.Started(ticks_.Now());
  Slot& slot = slots_.Add(index);
  slot.lines = reporter_.Lines();
  StartRead(slot);
}

bool ItemPipeline::TendWaiting() {
  // A stop sends nothing more, not even what the server turned away.
  if (StopAsked()) {
    EndWaiting();
    return true;
  }
  if (SendWaitingAgain()) return true;
  // Nothing else on its way: the wait is made here, and what is due is
  // sent on the next call, unless a stop came meanwhile.
  if (Outstanding() != waiting_) return false;
  uint32_t first = kLongestLoadPauseMs;
  const uint32_t now = ticks_.Now();
  for (const auto& slot : slots_) {
    if (!slot->waiting) continue;
    const auto left = static_cast<int32_t>(slot->retryAt - now);
    first = std::min(first, static_cast<uint32_t>(std::max(left, 0)));
  }
  pause_(first);
  return true;
}

bool ItemPipeline::TakeAnswer(bool holdWrites) {
  if (!held_.empty() && !(holdWrites && reads_ != 0)) SendHeldWrites();
  if (waiting_ != 0 && TendWaiting()) return true;
  ChannelAnswer answer;
  if (!channel_.TakeAnswer(&answer)) return false;
  Slot& slot = slots_.At(answer.tag);
  const uint32_t now = ticks_.Now();
  const auto inFlight = static_cast<uint32_t>(Outstanding() - waiting_);
  if (IsServerLoad(answer.rc)) {
    rules_.Overloaded(inFlight);
    if (WaitAfterLoad(slot, answer, now)) return true;
  } else if (!IsConnectionLoss(answer.rc)) {
    loadSince_.reset();
    if (!answer.early) rules_.Answered(now - slot.sentAt, inFlight);
  }
  slot.loadTries = 0;
  if (slot.state == Slot::State::kReading) {
    --reads_;
    ReadAnswered(slot, answer);
  } else if (slot.state == Slot::State::kWriting) {
    --writes_;
    written_[KeyOf(slot, items_[slot.index])] = ++clock_;
    slot.diagnostic = answer.diagnostic;
    WriteAnswered(slot, answer.rc);
  }
  return true;
}

void ItemPipeline::ReadAnswered(Slot& slot, ChannelAnswer& answer) {
  // Lost with a connection that has been made again: read it again.
  if (IsConnectionLoss(answer.rc) && channel_.ConnectionLoss() == 0 && stopSignal_ == 0 &&
      ++slot.readTries < ItemRecovery::kTriesPerItem)
    return StartRead(slot);
  SetState(slot, Slot::State::kRead);
  slot.object = ObjectRead{answer.rc, {}};
  if (answer.rc != 0) {
    slot.diagnostic = answer.diagnostic;
    return;
  }
  if (answer.entries.empty()) {
    slot.object.rc = kLdapNoSuchObject;
    return;
  }
  slot.object.entry = std::move(answer.entries.front());
  if (slot.object.entry.dn.empty()) slot.object.entry.dn = items_[slot.index].dn;
}

void ItemPipeline::WriteAnswered(Slot& slot, int rc) {
  if (rc == 0) rules_.WriteSucceeded();
  const Outcome outcome = PlanResult(slot.lines, slot.plan, rc);
  if (rc != 0) ShowDiagnostic(slot);
  Complete(slot, outcome, IsConnectionLoss(rc));
}

bool ItemPipeline::WaitAfterLoad(Slot& slot, const ChannelAnswer& answer, uint32_t now) {
  if (!loadSince_) loadSince_ = now;
  if (slot.loadTries == 0) slot.loadSince = now;
  const uint32_t runLeft = kLoadRetryWindowMs - std::min(now - *loadSince_, kLoadRetryWindowMs);
  const uint32_t itemLeft = kLoadRetryWindowMs - std::min(now - slot.loadSince, kLoadRetryWindowMs);
  const uint32_t left = std::min(runLeft, itemLeft);
  if (left == 0 || stopSignal_ != 0) return false;
  const uint32_t longest =
      std::min(kFirstLoadPauseMs << std::min(slot.loadTries, 5), kLongestLoadPauseMs);
  const uint32_t pause = longest / 2 + static_cast<uint32_t>(jitter_() % (longest / 2 + 1));
  ++slot.loadTries;
  slot.waiting = true;
  slot.loadRc = answer.rc;
  slot.diagnostic = answer.diagnostic;
  // The last try goes out as the window closes; its answer is the item's.
  slot.retryAt = now + std::min(pause, left);
  ++waiting_;
  return true;
}

bool ItemPipeline::SendWaitingAgain() {
  bool acted = false;
  const uint32_t now = ticks_.Now();
  for (size_t i = 0; i < slots_.size() && waiting_ != 0; ++i) {
    Slot& slot = slots_.Nth(i);
    if (!slot.waiting || static_cast<int32_t>(now - slot.retryAt) < 0) continue;
    // The window holds for these too, though one always goes when nothing
    // else is on its way.
    const size_t onTheirWay = Outstanding() - waiting_;
    if (!rules_.RoomToSendAgain(onTheirWay)) break;
    slot.waiting = false;
    --waiting_;
    acted = true;
    if (slot.state == Slot::State::kReading) {
      --reads_;
      StartRead(slot);
      continue;
    }
    slot.sentAt = now;
    const int rc = channel_.StartWrite(slot.index, slot.plan.dn, slot.plan.mods);
    if (rc != 0) {
      --writes_;
      WriteAnswered(slot, rc);
    }
  }
  return acted;
}

void ItemPipeline::EndWaiting() {
  for (auto& slot : slots_) {
    if (slot->waiting) EndWaitingItem(*slot);
  }
}

void ItemPipeline::EndWaitingItem(Slot& slot) {
  slot.waiting = false;
  --waiting_;
  if (slot.state == Slot::State::kReading) {
    --reads_;
    SetState(slot, Slot::State::kRead);
    slot.object = ObjectRead{slot.loadRc, {}};
    return;
  }
  --writes_;
  WriteAnswered(slot, slot.loadRc);
}

void ItemPipeline::Plan(Slot& slot) {
  ++tally_.processed;
  ++slot.tries;
  recovery_.Replanning(slot);
  if (std::optional<Outcome> settled = recovery_.Settle(slot)) return Complete(slot, *settled);
  // After a failure before it, nothing more goes out.
  if (rules_.HaltedBefore(slot.index)) {
    slot.notSent = true;
    return Complete(slot, Outcome::Ok());
  }
  // A preview writes nothing, so an object met again is planned from what
  // its earlier items would have left.
  const std::string key = KeyOf(slot, items_[slot.index]);
  preview_.Before(key, slot.object);
  ItemPlan planned = PlanWorkItem(slot.lines, facts_, action_, items_[slot.index], slot.object);
  preview_.After(key, items_[slot.index], slot.object, planned);
  slot.plan = std::move(planned.plan);
  if (slot.object.found()) slot.plannedFrom = slot.object.entry;
  slot.unchanged = planned.unchanged;
  slot.changed = ChangedAttributes(slot.plan.mods);
  const Outcome& outcome = planned.outcome;
  if (!outcome.ok() && !slot.object.found()) ShowDiagnostic(slot);
  // Planned while the server went away for good: nothing was sent, and the
  // item is left for the run that follows, like every item after it.
  if (!outcome.ok() && LeftForTheNextRun(slot)) return;
  if (!outcome.ok() || slot.plan.mods.empty()) return Complete(slot, outcome);
  if (settings_.whatIf) {
    slot.record = PlanAsLdif(slot.plan);
    return Complete(slot, outcome);
  }
  SetState(slot, Slot::State::kWriting);
  ++writes_;
  if (!records_.undo) return SendWrite(slot);
  // The undo record is on disk before the change goes out: the write waits
  // for the records of the writes planned with it.
  if (Outcome kept = records_.undo->Record(slot.lines, slot.plan, slot.object); !kept.ok()) {
    --writes_;
    return Complete(slot, kept);
  }
  held_.push_back(&slot);
}

void ItemPipeline::SendHeldWrites() {
  const std::vector<Slot*> held = std::move(held_);
  held_.clear();
  // A failure to sync is told once, in the first held item's lines.
  const Outcome synced = records_.undo->Sync(held.front()->lines);
  for (Slot* slot : held) {
    if (synced.ok()) {
      SendWrite(*slot);
      continue;
    }
    --writes_;
    Complete(*slot, synced);
  }
}

void ItemPipeline::SendWrite(Slot& slot) {
  slot.sentAt = ticks_.Now();
  const int rc = channel_.StartWrite(slot.index, slot.plan.dn, slot.plan.mods);
  if (rc == 0) return;
  --writes_;
  SetState(slot, Slot::State::kRead);
  // Left for the next run only while no later item has been planned (a held
  // write may have one after it): items are shown in input order.
  if (IsConnectionLoss(rc) && slot.index + 1 >= nextPlan_ && LeftForTheNextRun(slot)) return;
  Complete(slot, PlanResult(slot.lines, slot.plan, rc), IsConnectionLoss(rc));
}

bool ItemPipeline::LeftForTheNextRun(Slot& slot) {
  if (channel_.ConnectionLoss() == 0 || slot.tries != 1) return false;
  --tally_.processed;
  return true;
}

void ItemPipeline::Complete(Slot& slot, const Outcome& outcome, bool lost) {
  // A change whose answer was lost with the connection may have landed: once
  // the connection is made again, the object is read and planned anew, so
  // nothing is applied twice.
  if (lost && recovery_.SendBack(slot, stopSignal_ != 0)) {
    --tally_.processed;
    StartRead(slot);
    return;
  }
  // Sent, and the server went away for good before it answered.
  if (lost && !slot.plan.mods.empty()) slot.unknown = true;
  SetState(slot, Slot::State::kDone);
  slot.outcome = outcome;
  if (outcome.ok()) {
    ++tally_.successful;
  } else {
    ++tally_.errors;
    rules_.Failed(slot.index);
  }
}

void ItemPipeline::ShowDiagnostic(Slot& slot) {
  if (settings_.verbose && !slot.diagnostic.empty())
    slot.lines.ErrLine("Extended Error: (" + OneLine(slot.diagnostic) + ")");
}

bool ItemPipeline::ReadyToPlan(Slot& slot) {
  // Each wait below has a request outstanding to wait for.
  const auto wait = [this] {
    TakeAnswer();
    return false;
  };
  if (slot.state == Slot::State::kReading) {
    TakeAnswer(true);
    return false;
  }
  if (!rules_.RoomToWrite(writes_, reads_, reads_ + (items_.size() - nextRead_))) return wait();
  // Two items that name the same object are never in flight together.
  const std::string key = KeyOf(slot, items_[slot.index]);
  if (rules_.Writing(key)) return wait();
  // Read before an earlier item's change of the object was answered: the
  // plan is made from what that change left.
  if (auto written = written_.find(key);
      written != written_.end() && written->second > slot.readSentAt) {
    StartRead(slot);
    return false;
  }
  return true;
}

bool ItemPipeline::StopAsked() {
  // A signal that comes once every item has ended changes nothing: the run's
  // status is that of its items.
  if (stopSignal_ == 0 && !AllEnded()) stopSignal_ = stop_.Signal();
  return stopSignal_ != 0;
}

bool ItemPipeline::AllEnded() const {
  return Outstanding() == 0 && recovery_.sentBack() == 0 &&
         (!sending_ || nextPlan_ == items_.size());
}

void ItemPipeline::EndAfterStop() {
  // Counted from the signal, not from when the loop saw it: an answer it was
  // already waiting for took part of the time.
  const uint32_t askedAt = stop_.AskedAt();
  // Writes planned before the stop was seen go out with their records, as
  // they would have one at a time.
  if (!held_.empty()) SendHeldWrites();
  EndWaiting();
  while (Outstanding() != 0) {
    const uint32_t waited = ticks_.Now() - askedAt;
    if (waited >= kStopWaitMs) break;
    // Whole seconds, rounded down, so that no wait runs past the time; in
    // the last second only the answers that have arrived are taken.
    channel_.Ending(static_cast<int>((kStopWaitMs - waited) / 1000));
    TakeAnswer();
  }
  // Sent and not answered in time: the object may have changed.
  for (auto& slot : slots_) {
    const bool sent = slot->state == Slot::State::kWriting || (slot->again && slot->lostWrite);
    if (slot->state == Slot::State::kDone || !sent) continue;
    slot->unknown = true;
    SetState(*slot, Slot::State::kDone);
    slot->outcome = PlanResult(slot->lines, slot->plan, kLdapTimeout);
    ++tally_.errors;
  }
  ShowFinished();
  reporter_.err() << "ERROR: Stopped by signal " << stopSignal_
                  << "; the items not yet sent are not processed." << EndLine;
}

void ItemPipeline::DropHeldWritesAfterTheFailure() {
  // Their records may be in the undo file: a record of a write never sent is
  // refused when replayed, and changes nothing.
  std::erase_if(held_, [this](Slot* slot) {
    if (slot->index < rules_.FirstFailure()) return false;
    --writes_;
    --tally_.processed;
    --slot->tries;
    SetState(*slot, Slot::State::kRead);
    return true;
  });
}

void ItemPipeline::StartReads() {
  // An item that was read and waits for room in the window goes before
  // more reads, or at a window of one the reads would run through the
  // whole list before its first write.
  const bool planWaits = nextPlan_ < nextRead_ && slots_.At(nextPlan_).state == Slot::State::kRead;
  while (nextRead_ < items_.size() && rules_.RoomToRead(reads_, Outstanding(), planWaits) &&
         rules_.RateAllows(ticks_.Now()))
    NewSlot(nextRead_++);
}

bool ItemPipeline::SendNext() {
  StartReads();
  ShowFinished();
  if (output_.stopped() || StopAsked()) return false;
  // A server that stays away ends the run, with the loss's code: nothing
  // more is planned, and what is on its way is finished and shown first.
  if (const int loss = channel_.ConnectionLoss(); loss != 0) return FinishBeforeLoss(loss);
  // Items sent back to their read come first: they were let in already.
  if (Slot* again = recovery_.NextToPlan(slots_)) {
    if (ReadyToPlan(*again)) Plan(*again);
    return true;
  }
  if (nextPlan_ == items_.size()) return TakeAnswer();
  if (const std::optional<bool> goOn = StopRulesSay()) return *goOn;
  return PlanNext();
}

bool ItemPipeline::FinishBeforeLoss(int loss) {
  if (TakeAnswer()) return true;
  reporter_.err() << "ERROR: Lost the connection to the directory server and could not "
                     "connect again; stopping."
                  << EndLine;
  lossError_ = Outcome::Ldap(loss);
  return false;
}

std::optional<bool> ItemPipeline::StopRulesSay() {
  // Writes on their way, and items to be written again, as the stop rules
  // see them: each may still succeed or fail.
  const size_t pending = writes_ + recovery_.sentBack();
  if (rules_.UptoReached(tally_.successful, pending)) {
    if (pending != 0 && TakeAnswer()) return true;
    reporter_.out() << "WARN: UpTo limit achieved, stopping..." << EndLine;
    return false;
  }
  if (rules_.Halted()) {
    DropHeldWritesAfterTheFailure();
    return false;
  }
  // An item whose answer was lost is settled before the next goes out.
  if (!settings_.continueOnError && recovery_.sentBack() != 0 && TakeAnswer()) return true;
  return std::nullopt;
}

bool ItemPipeline::PlanNext() {
  if (nextRead_ == nextPlan_) {  // the window is full of writes, or -rate holds the next
    if (TakeAnswer()) return true;
    if (const uint32_t wait = rules_.RateWait(ticks_.Now()); wait != 0) pause_(wait);
    NewSlot(nextRead_++);
  }
  Slot& slot = slots_.At(nextPlan_);
  if (!ReadyToPlan(slot)) return true;
  Plan(slot);
  ++nextPlan_;
  return true;
}

void ItemPipeline::AnswerTheRest() {
  sending_ = false;
  while (!StopAsked()) {
    if (Slot* again = recovery_.NextToPlan(slots_);
        again != nullptr && channel_.ConnectionLoss() == 0) {
      if (ReadyToPlan(*again)) Plan(*again);
      continue;
    }
    if (!TakeAnswer()) break;
  }
}

void ItemPipeline::EndRun() {
  if (stopSignal_ != 0) EndAfterStop();
  ShowFinished();
  if (rules_.Halted() && stopSignal_ == 0 && lossError_.ok()) {
    recovery_.PutBackAfterTheFailure(slots_, rules_.FirstFailure(), settings_.whatIf, tally_);
    // As one request at a time would have ended: the line comes when an item
    // after the failure was left alone.
    if (rules_.FirstFailure() + 1 < items_.size() && !output_.stopped())
      reporter_.out() << "ERROR: Too many Errors, stopping..." << EndLine;
  }
  if (!lossError_.ok()) tally_.lastError = lossError_;  // what ended the run comes last
  if (stopSignal_ != 0)
    tally_.lastError = Outcome::Varnel(128 + stopSignal_, "stopped by a signal");
  output_.ShowRest(slots_, recovery_.putBack(), tally_);
}

RunTally ItemPipeline::Run() {
  // The first reads go out before the facts are read, and come back meanwhile.
  StartReads();
  ReadFactsAhead(facts_, action_);
  while (SendNext()) {
  }
  // Requests still outstanding are answered before the run ends; an item
  // whose answer was lost is planned again once its read is back.
  AnswerTheRest();
  EndRun();
  return tally_;
}

}  // namespace

RunTally RunItemPipeline(Reporter& reporter, RequestChannel& channel, RunFacts& facts,
                         const Action& action, const RunSettings& settings, const WorkList& work,
                         const TickCounter& ticks, RunRecords& records, const StopRequest& stop,
                         const std::function<void(uint32_t)>& pause) {
  ItemPipeline pipeline(reporter, channel, facts, action, settings, work, ticks, records, stop,
                        pause);
  return pipeline.Run();
}

}  // namespace varnel
