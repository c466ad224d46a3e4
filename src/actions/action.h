// An action of the tool: what it reads of each object, and a plan function
// from the work item, the object as read and the run's facts to the
// object's whole change, the item's outcome and the lines it shows. A plan
// function reads nothing, writes nothing and prints nothing; the run
// (run/) sends, records and shows what it returns.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "exchange/mail_database.h"
#include "exchange/object_plan.h"
#include "exchange/work_item.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// The one read of an object: a base search of the item's DN.
struct ObjectRead {
  int rc = 0;       // the search's code; kLdapNoSuchObject when it found nothing
  LdapEntry entry;  // when rc is 0: the object, its DN as the directory stores it
  bool found() const { return rc == 0; }
};

// What the run read once that an item's plan may need.
struct PlanFacts {
  std::string mdbDn;                                // the item's mail database; "" when none
  const DatabaseFacts* database = nullptr;          // its facts, when read
  const OrganisationFacts* organisation = nullptr;  // when read
};

struct PlanInput {
  const WorkItem& item;
  const std::string& dn;  // as stored when the read found it, else as given
  const ObjectRead& object;
  const PlanFacts& facts;
  bool debug = false;  // the run shows the "DEBUG:" traces
};

struct ItemPlan {
  ObjectPlan plan;  // empty mods: nothing is sent
  Outcome outcome;  // a failure: nothing is sent
  std::string out;  // the lines shown on standard output, then
  std::string err;  // those on standard error
  // The plan changed nothing the object did not already hold: nothing is
  // sent, and the item succeeds as unchanged.
  bool unchanged = false;
};

class Action {
 public:
  // The run's facts a plan may need besides the object.
  enum class Needs { kObjectOnly, kDatabase, kOrganisation };
  // What the field after an input line's DN names: a mail database (resolved
  // by the run before the plan) or a target address (the plan's own).
  enum class LineOverride { kNone, kDatabase, kAddress };

  virtual ~Action() = default;
  // The line shown before the first item.
  virtual const char* Banner() const = 0;
  // The action's switch without its dash, as the item report names it.
  virtual const char* Name() const = 0;
  // The attributes the one read of every object asks for: everything the
  // plan decides on and everything it may change, for the undo record.
  virtual std::vector<std::string> Attributes() const = 0;
  virtual Needs FactsNeeded() const { return Needs::kObjectOnly; }
  virtual LineOverride Override() const { return LineOverride::kNone; }
  virtual ItemPlan Plan(const PlanInput& input) const = 0;
};

}  // namespace varnel
