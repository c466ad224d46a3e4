#include "exchange/item_plan.h"

#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/home_mdb.h"
#include "exchange/mail_enable.h"
#include "exchange/mailbox_actions.h"
#include "exchange/object_plan.h"
#include "exchange/run_settings.h"
#include "exchange/update_recipient.h"
#include "exchange/work_item.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {

Outcome PlanItem(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                 const WorkItem& item, const std::string& storedDn,
                 const std::vector<std::string>& exchangeAttributes,
                 DirectoryObjectService& objectService, MdbCache& mdbCache, ObjectPlan* plan) {
  const std::string dn = storedDn.empty() ? item.dn : storedDn;
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
  switch (settings.action) {
    case RunAction::CreateMailbox:
      return PlanCreateMailbox(reporter, session, settings, dn, overrideMdb, objectService, plan);
    case RunAction::MoveMailbox:
      return PlanMoveMailbox(reporter, settings, dn, overrideMdb, objectService, plan);
    case RunAction::MailEnable:
      return PlanMailEnable(reporter, session, settings, dn, overrideEmail, objectService, plan);
    case RunAction::Clear:
      return PlanClear(reporter, session, dn, exchangeAttributes, !settings.nativeMode,
                       &plan->mods);
    case RunAction::Update:
      return PlanUpdate(reporter, session, dn, settings.update, &plan->mods);
    case RunAction::None:
      break;
  }
  return Outcome::Ok();
}

}  // namespace varnel
