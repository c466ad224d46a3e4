#include "exchange/process_work_items.h"

#include <map>

#include "diag/reporter.h"
#include "diag/stopwatch.h"
#include "exchange/exchange_attributes.h"
#include "exchange/home_mdb.h"
#include "exchange/mail_enable.h"
#include "exchange/mailbox_actions.h"
#include "exchange/object_plan.h"
#include "exchange/run_settings.h"
#include "exchange/update_recipient.h"
#include "exchange/work_item.h"
#include "ldap/result_codes.h"
#include "ldap/search_helpers.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// The status of a run whose only fault is input lines it could not take.
constexpr int32_t kSkippedInputStatus = -1;

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

}  // namespace

Outcome ProcessWorkItems(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                         const WorkList& work, const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks) {
  const std::vector<WorkItem>& items = work.items;
  std::map<std::string, std::string> mdbCache;  // lower-cased override text -> resolved DN
  RunTally tally;
  Stopwatch stopwatch("t1", ticks, &reporter);
  if (!reporter.quiet()) {
    if (const char* banner = ActionBanner(settings.action)) reporter.out() << banner << EndLine;
  }

  for (const WorkItem& item : items) {
    if (settings.upto != 0 && tally.successful >= settings.upto) {
      reporter.out() << "WARN: UpTo limit achieved, stopping..." << EndLine;
      break;
    }
    if (tally.errors != 0 && !settings.continueOnError) {
      reporter.out() << "ERROR: Too many Errors, stopping..." << EndLine;
      break;
    }
    ++tally.processed;
    const std::string dn = LdapGetDN(session, item.dn);
    if (!reporter.quiet()) reporter.out() << "   DN: " << dn << "..." << std::flush;
    if (reporter.debug()) {
      reporter.out() << EndLine;
      reporter.out() << "DEBUG:  Data: " << item.overrideText << EndLine;
    }

    std::string overrideMdb;
    std::string overrideEmail;
    if (!item.overrideText.empty()) {
      if (settings.action == RunAction::CreateMailbox ||
          settings.action == RunAction::MoveMailbox) {
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
    ObjectPlan plan;
    plan.dn = dn;
    Outcome outcome;
    if (overrideUnresolved) {
      outcome = Outcome::Ldap(kLdapNoSuchObject);
    } else {
      switch (settings.action) {
        case RunAction::CreateMailbox:
          outcome =
              PlanCreateMailbox(reporter, session, settings, dn, overrideMdb, objectService, &plan);
          break;
        case RunAction::MoveMailbox:
          outcome = PlanMoveMailbox(reporter, settings, dn, overrideMdb, objectService, &plan);
          break;
        case RunAction::MailEnable:
          outcome =
              PlanMailEnable(reporter, session, settings, dn, overrideEmail, objectService, &plan);
          break;
        case RunAction::Clear:
          outcome = PlanClear(reporter, session, dn, exchangeAttributes, !settings.nativeMode,
                              &plan.mods);
          break;
        case RunAction::Update:
          outcome = PlanUpdate(reporter, session, dn, settings.update, &plan.mods);
          break;
        case RunAction::None:
          break;
      }
      if (outcome.ok()) outcome = SendPlan(reporter, session, plan);
    }

    if (outcome.ok()) {
      reporter.out() << EndLine;
      ++tally.successful;
    } else {
      ++tally.errors;
      tally.lastError = outcome;
    }
  }

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
  if (tally.errors != 0 || work.skippedLines != 0)
    reporter.out() << "\nThe command completed with errors.\n" << EndLine;
  else
    reporter.out() << "\nThe command completed successfully.\n" << EndLine;
  if (tally.lastError.ok() && work.skippedLines != 0)
    return Outcome::Varnel(kSkippedInputStatus, "input lines skipped");
  return tally.lastError;
}

}  // namespace varnel
