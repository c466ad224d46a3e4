#include "run/item_step.h"

#include "diag/item_lines.h"
#include "directory/run_facts.h"
#include "exchange/object_plan.h"
#include "exchange/recipient_rules.h"
#include "ldap/result_codes.h"
#include "run/write_result.h"

namespace varnel {

LdapSearchRequest ObjectReadRequest(const Action& action, const std::string& dn) {
  LdapSearchRequest request;
  request.base = dn;
  request.scope = LdapScope::kBase;
  request.filter = "(objectclass=*)";
  request.attributes = action.Attributes();
  return request;
}

void ReadFactsAhead(RunFacts& facts, const Action& action) {
  const bool namesDatabase = action.Override() == Action::LineOverride::kDatabase;
  if (action.FactsNeeded() == Action::Needs::kDatabase && namesDatabase &&
      !facts.HomeDatabase().empty())
    facts.Database(facts.HomeDatabase());
  if (action.FactsNeeded() == Action::Needs::kOrganisation) facts.Organisation();
}

ItemPlan PlanWorkItem(ItemLines& lines, RunFacts& facts, const Action& action, const WorkItem& item,
                      const ObjectRead& object) {
  const std::string dn = object.found() ? object.entry.dn : item.dn;
  if (!lines.quiet) lines.OutText("   DN: " + dn + "...");
  if (lines.debug) {
    lines.OutText("\n");
    lines.Out("DEBUG:  Data: " + item.overrideText);
  }

  const bool namesDatabase = action.Override() == Action::LineOverride::kDatabase;
  std::string overrideMdb;
  Outcome overrideResolved;
  if (!item.overrideText.empty()) {
    if (namesDatabase)
      overrideResolved = facts.ResolveDatabase(lines, item.overrideText, &overrideMdb);
    const bool address = action.Override() == Action::LineOverride::kAddress;
    lines.Trace("DEBUG: OverRide MDB  : " + overrideMdb);
    lines.Trace("DEBUG: OverRide email: " + (address ? item.overrideText : std::string()));
  }

  ItemPlan planned;
  planned.plan.dn = dn;
  // A line that names a database of its own never falls back to the run's;
  // one that does not resolve fails as no such object, whatever the search
  // met.
  if (!overrideResolved.ok()) {
    planned.outcome = Outcome::Ldap(kLdapNoSuchObject);
    return planned;
  }

  PlanFacts planFacts;
  if (namesDatabase) planFacts.mdbDn = overrideMdb.empty() ? facts.HomeDatabase() : overrideMdb;
  // Facts serve an object that was found; one that was not fails before them.
  if (object.found()) {
    if (action.FactsNeeded() == Action::Needs::kDatabase && !planFacts.mdbDn.empty())
      planFacts.database = &facts.Database(planFacts.mdbDn);
    if (action.FactsNeeded() == Action::Needs::kOrganisation)
      planFacts.organisation = &facts.Organisation();
  }
  planned = action.Plan({item, dn, object, planFacts, lines.debug});
  lines.OutText(planned.out);
  lines.Err(planned.err);
  planned.out.clear();
  planned.err.clear();
  if (!planned.outcome.ok()) return planned;
  // Nothing is written without a successful read: a plan that went on
  // without the object ends with the read's failure, shown as the refused
  // write it would have met.
  if (!object.found()) {
    planned.outcome = PlanResult(lines, planned.plan, object.rc);
    planned.plan.mods.clear();
    return planned;
  }
  // What the object holds already is not written again; an item that sends
  // nothing is unchanged, whatever the reason.
  DropUnchangedModifications(object.entry, &planned.plan.mods);
  if (planned.plan.mods.empty()) {
    planned.unchanged = true;
    return planned;
  }
  // Only recipients are changed: one bad line must not strip a mail database
  // or a server of its Exchange attributes.
  if (!IsRecipientObject(object.entry)) {
    lines.ErrLine(" - ERROR: Not a recipient (objectClass " + MostSpecificClass(object.entry) +
                  "); nothing was changed.");
    planned.plan.mods.clear();
    planned.outcome = Outcome::Ldap(kLdapObjectClassViolation);
  }
  return planned;
}

}  // namespace varnel
