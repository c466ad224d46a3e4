// One item's plan: its progress line, its override field (a per-line mail
// database, resolved once per text, or a target address) and the action's
// planner. Reads what the planner needs; writes nothing.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "diag/outcome.h"

namespace varnel {

class DirectoryObjectService;
class LdapConnection;
class Reporter;
struct ObjectPlan;
struct RunSettings;
struct WorkItem;

// Lower-cased override text -> the mail database DN it resolved to.
using MdbCache = std::map<std::string, std::string>;

// Plans `item` from its DN as the directory stores it ("" when the look-up
// found nothing). A per-line database that does not resolve fails the item
// (32); it never falls back to the run's.
Outcome PlanItem(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                 const WorkItem& item, const std::string& storedDn,
                 const std::vector<std::string>& exchangeAttributes,
                 DirectoryObjectService& objectService, MdbCache& mdbCache, ObjectPlan* plan);

}  // namespace varnel
