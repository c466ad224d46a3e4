#include "exchange/process_work_items.h"

#include <map>

#include "diag/reporter.h"
#include "diag/stopwatch.h"
#include "exchange/exchange_attributes.h"
#include "exchange/home_mdb.h"
#include "exchange/mail_enable.h"
#include "exchange/mailbox_actions.h"
#include "exchange/object_plan.h"
#include "exchange/progress_meter.h"
#include "exchange/run_records.h"
#include "exchange/run_settings.h"
#include "exchange/update_recipient.h"
#include "exchange/work_item.h"
#include "ldap/result_codes.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// How often one item is tried when the connection is lost and made again.
constexpr int kTriesPerItem = 3;

// The status of a run whose only fault is input lines it could not take.
constexpr int32_t kSkippedInputStatus = -1;

// Lower-cased override text -> the mail database DN it resolved to.
using MdbCache = std::map<std::string, std::string>;

struct RunTally {
  uint32_t processed = 0;
  uint32_t successful = 0;
  uint32_t errors = 0;
  Outcome lastError;
};

const char* ActionBanner(RunAction action) {
  switch (action) {
    case RunAction::Clear:
      return "Clearing Exchange Attributes...";
    case RunAction::CreateMailbox:
      return "Creating Mailboxes...";
    case RunAction::MailEnable:
      return "Mail Enabling Objects...";
    case RunAction::MoveMailbox:
      return "Moving Mailboxes...";
    case RunAction::Update:
      return "Updating Objects...";
    case RunAction::None:
      break;
  }
  return nullptr;
}

// Sends the plan; with an undo file, its restoring record is written first
// and taken back when the server refused the change.
Outcome SendWithUndo(Reporter& reporter, LdapConnection& session, const ObjectPlan& plan,
                     UndoJournal* undo) {
  if (plan.mods.empty()) return Outcome::Ok();
  if (undo != nullptr) {
    if (Outcome kept = undo->Record(reporter, session, plan); !kept.ok()) return kept;
  }
  int resultCode = 0;
  const Outcome sent = SendPlan(reporter, session, plan, &resultCode);
  if (!sent.ok() && undo != nullptr && !MayHaveLanded(resultCode)) {
    if (Outcome back = undo->TakeBack(reporter); !back.ok()) return back;
  }
  return sent;
}

// One item from the DN look-up to the sent (or, with -whatif, previewed)
// plan. *storedDn receives the DN as the directory holds it, or "".
Outcome ProcessItem(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                    const WorkItem& item, const std::vector<std::string>& exchangeAttributes,
                    DirectoryObjectService& objectService, MdbCache& mdbCache, RunRecords& records,
                    ObjectPlan* plan, std::string* storedDn) {
  *storedDn = LdapStoredDN(session, item.dn).value_or("");
  const std::string dn = storedDn->empty() ? item.dn : *storedDn;
  if (!reporter.quiet()) reporter.out() << "   DN: " << dn << "..." << std::flush;
  if (reporter.debug()) {
    reporter.out() << EndLine;
    reporter.out() << "DEBUG:  Data: " << item.overrideText << EndLine;
  }

  std::string overrideMdb;
  std::string overrideEmail;
  if (!item.overrideText.empty()) {
    if (settings.action == RunAction::CreateMailbox || settings.action == RunAction::MoveMailbox) {
      std::string key = LowerCase(item.overrideText);
      auto cached = mdbCache.find(key);
      if (cached != mdbCache.end()) {
        overrideMdb = cached->second;
      } else {
        overrideMdb = ResolveHomeMDB(reporter, session, settings.exchangeServicesDn,
                                     item.overrideText, settings.mdbDelimiter);
        // A failure is not kept, so each item it stops shows its error line.
        if (!overrideMdb.empty()) mdbCache.emplace(key, overrideMdb);
      }
    } else if (settings.action == RunAction::MailEnable) {
      overrideEmail = item.overrideText;
    }
    if (reporter.debug()) {
      reporter.out() << "DEBUG: OverRide MDB  : " << overrideMdb << EndLine;
      reporter.out() << "DEBUG: OverRide email: " << overrideEmail << EndLine;
    }
  }

  // A line that names a database of its own never falls back to the run's.
  const bool overrideUnresolved =
      !item.overrideText.empty() && overrideMdb.empty() &&
      (settings.action == RunAction::CreateMailbox || settings.action == RunAction::MoveMailbox);
  if (overrideUnresolved) return Outcome::Ldap(kLdapNoSuchObject);

  plan->dn = dn;
  Outcome outcome;
  switch (settings.action) {
    case RunAction::CreateMailbox:
      outcome =
          PlanCreateMailbox(reporter, session, settings, dn, overrideMdb, objectService, plan);
      break;
    case RunAction::MoveMailbox:
      outcome = PlanMoveMailbox(reporter, settings, dn, overrideMdb, objectService, plan);
      break;
    case RunAction::MailEnable:
      outcome = PlanMailEnable(reporter, session, settings, dn, overrideEmail, objectService, plan);
      break;
    case RunAction::Clear:
      outcome =
          PlanClear(reporter, session, dn, exchangeAttributes, !settings.nativeMode, &plan->mods);
      break;
    case RunAction::Update:
      outcome = PlanUpdate(reporter, session, dn, settings.update, &plan->mods);
      break;
    case RunAction::None:
      break;
  }
  if (!outcome.ok() || settings.whatIf) return outcome;
  return SendWithUndo(reporter, session, *plan, records.undo.get());
}

}  // namespace

Outcome ProcessWorkItems(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks,
                         RunRecords& records) {
  const std::vector<WorkItem>& items = work.items;
  MdbCache mdbCache;
  RunTally tally;
  Stopwatch stopwatch("t1", ticks, &reporter);
  ProgressMeter meter(reporter, ticks, items.size());
  if (records.report) records.report->SetSkippedLines(&work.skipped);
  if (!reporter.quiet()) {
    if (const char* banner = ActionBanner(settings.action)) reporter.out() << banner << EndLine;
  }

  size_t next = 0;
  std::string stopReason;
  for (; next < items.size(); ++next) {
    const WorkItem& item = items[next];
    if (settings.upto != 0 && tally.successful >= settings.upto) {
      reporter.out() << "WARN: UpTo limit achieved, stopping..." << EndLine;
      stopReason = "UpTo limit achieved";
      break;
    }
    if (tally.errors != 0 && !settings.continueOnError) {
      reporter.out() << "ERROR: Too many Errors, stopping..." << EndLine;
      stopReason = "Too many Errors";
      break;
    }
    ++tally.processed;
    ObjectPlan plan;
    std::string storedDn;
    Outcome outcome;
    for (int tries = 1;; ++tries) {
      plan = ObjectPlan();
      const uint32_t reconnections = session.Reconnections();
      outcome = ProcessItem(reporter, session, settings, item, exchangeAttributes, objectService,
                            mdbCache, records, &plan, &storedDn);
      // A change whose answer was lost with the connection may have landed:
      // once the connection is made again, the object is read and planned
      // anew, so nothing is applied twice.
      if (outcome.ok() || session.Reconnections() == reconnections ||
          session.ConnectionLoss() != 0 || tries == kTriesPerItem)
        break;
      reporter.err() << "WARN: The connection to the directory server was lost and made again; "
                        "trying this object again."
                     << EndLine;
    }
    if (outcome.ok()) {
      reporter.out() << EndLine;
      if (settings.whatIf) reporter.data() << PlanAsLdif(plan) << std::flush;
      ++tally.successful;
    } else {
      ++tally.errors;
      tally.lastError = outcome;
    }
    const Outcome recorded = records.ItemEnded(reporter, item, ResultOf(outcome, storedDn));
    meter.Update(next + 1, tally.errors);
    // A record that could not be kept ends the run: what follows could not
    // be undone or accounted for.
    const Outcome broken = !recorded.ok()                           ? recorded
                           : records.undo && records.undo->broken() ? outcome
                                                                    : Outcome::Ok();
    if (!broken.ok()) {
      tally.lastError = broken;
      stopReason = OutcomeMessage(broken);
      ++next;
      break;
    }
    // A server that stays away ends the run at once, with the loss's code.
    if (const int loss = session.ConnectionLoss(); loss != 0) {
      reporter.err() << "ERROR: Lost the connection to the directory server and could not "
                        "connect again; stopping."
                     << EndLine;
      tally.lastError = Outcome::Ldap(loss);
      stopReason = "the connection to the directory server was lost";
      ++next;
      break;
    }
  }
  for (; next < items.size(); ++next) {
    records.ItemEnded(reporter, items[next], {ItemOutcome::kNotProcessed, "", 0, stopReason});
  }
  if (Outcome finished = records.Finish(reporter); !finished.ok()) tally.lastError = finished;
  meter.Finish();

  reporter.out() << EndLine;
  stopwatch.Stop("t1");
  if (items.size() > 1) {
    reporter.out() << "DNs to Process: " << items.size() << EndLine;
    reporter.out() << "DNs Processed : " << tally.processed << EndLine;
    reporter.out() << "Successful    : " << tally.successful << EndLine;
    reporter.out() << "Errors        : " << tally.errors << EndLine;
  }
  if (settings.showElapsedMs)
    reporter.out() << "Elapsed MS: " << stopwatch.ElapsedMs("t1") << EndLine;
  if (settings.showElapsed) {
    float seconds = static_cast<float>(stopwatch.ElapsedSeconds("t1"));
    reporter.out() << "Time Elapsed (sec): " << seconds << EndLine;
  }
  // Input lines that were skipped are work left undone as much as failures.
  const bool skippedLines = !work.skipped.empty();
  if (tally.errors != 0 || skippedLines || !tally.lastError.ok())
    reporter.out() << "\nThe command completed with errors.\n" << EndLine;
  else
    reporter.out() << "\nThe command completed successfully.\n" << EndLine;
  if (tally.lastError.ok() && skippedLines)
    return Outcome::Varnel(kSkippedInputStatus, "input lines skipped");
  return tally.lastError;
}

}  // namespace varnel
