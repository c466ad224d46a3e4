#include "exchange/process_work_items.h"

#include <iostream>
#include <map>

#include "diag/console.h"
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

Outcome ProcessWorkItems(LdapConnection& session, const RunSettings& settings, const WorkList& work,
                         const std::vector<std::string>& exchangeAttributes,
                         DirectoryObjectService& objectService, const TickCounter& ticks) {
  const std::vector<WorkItem>& items = work.items;
  std::map<std::string, std::string> mdbCache;  // lower-cased override text -> resolved DN
  RunTally tally;
  Stopwatch stopwatch("t1", ticks);
  if (!Quiet()) {
    if (const char* banner = ActionBanner(settings.action)) std::cout << banner << EndLine;
  }

  for (const WorkItem& item : items) {
    if (settings.upto != 0 && tally.successful >= settings.upto) {
      std::cout << "WARN: UpTo limit achieved, stopping..." << EndLine;
      break;
    }
    if (tally.errors != 0 && !settings.continueOnError) {
      std::cout << "ERROR: Too many Errors, stopping..." << EndLine;
      break;
    }
    ++tally.processed;
    const std::string dn = LdapGetDN(session, item.dn);
    if (!Quiet()) std::cout << "   DN: " << dn << "..." << std::flush;
    if (Debug()) {
      std::cout << EndLine;
      std::cout << "DEBUG:  Data: " << item.overrideText << EndLine;
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
          overrideMdb = ResolveHomeMDB(session, settings.exchangeServicesDn, item.overrideText,
                                       settings.mdbDelimiter);
          // A failure is not kept, so each item it stops shows its error line.
          if (!overrideMdb.empty()) mdbCache.emplace(key, overrideMdb);
        }
      } else if (settings.action == RunAction::MailEnable) {
        overrideEmail = item.overrideText;
      }
      if (Debug()) {
        std::cout << "DEBUG: OverRide MDB  : " << overrideMdb << EndLine;
        std::cout << "DEBUG: OverRide email: " << overrideEmail << EndLine;
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
          outcome = PlanCreateMailbox(session, settings, dn, overrideMdb, objectService, &plan);
          break;
        case RunAction::MoveMailbox:
          outcome = PlanMoveMailbox(settings, dn, overrideMdb, objectService, &plan);
          break;
        case RunAction::MailEnable:
          outcome = PlanMailEnable(session, settings, dn, overrideEmail, objectService, &plan);
          break;
        case RunAction::Clear:
          outcome = PlanClear(session, dn, exchangeAttributes, !settings.nativeMode, &plan.mods);
          break;
        case RunAction::Update:
          outcome = PlanUpdate(session, dn, settings.update, &plan.mods);
          break;
        case RunAction::None:
          break;
      }
      if (outcome.ok()) outcome = SendPlan(session, plan);
    }

    if (outcome.ok()) {
      std::cout << EndLine;
      ++tally.successful;
    } else {
      ++tally.errors;
      tally.lastError = outcome;
    }
  }

  std::cout << EndLine;
  stopwatch.Stop("t1");
  if (items.size() > 1) {
    std::cout << "DNs to Process: " << items.size() << EndLine;
    std::cout << "DNs Processed : " << tally.processed << EndLine;
    std::cout << "Successful    : " << tally.successful << EndLine;
    std::cout << "Errors        : " << tally.errors << EndLine;
  }
  if (settings.showElapsedMs) std::cout << "Elapsed MS: " << stopwatch.ElapsedMs("t1") << EndLine;
  if (settings.showElapsed) {
    float seconds = static_cast<float>(stopwatch.ElapsedSeconds("t1"));
    std::cout << "Time Elapsed (sec): " << seconds << EndLine;
  }
  // Input lines that were skipped are work left undone as much as failures.
  if (tally.errors != 0 || work.skippedLines != 0)
    std::cout << "\nThe command completed with errors.\n" << EndLine;
  else
    std::cout << "\nThe command completed successfully.\n" << EndLine;
  if (tally.lastError.ok() && work.skippedLines != 0)
    return Outcome::Varnel(kSkippedInputStatus, "input lines skipped");
  return tally.lastError;
}

}  // namespace varnel
