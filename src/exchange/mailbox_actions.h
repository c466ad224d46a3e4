// The mailbox actions of one work item, planned through the directory object
// service: creating a mailbox for a user in a mail database (with the quotas
// and address-list visibility of the run in the same request) and moving a
// mailbox to another mail database.
#pragma once

#include <string>

#include "diag/outcome.h"
#include "exchange/directory_object_service.h"
#include "exchange/object_plan.h"
#include "exchange/run_settings.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

// Plans the mailbox of `dn` in `overrideMdb`, or the run's homeMdbDn when
// that is empty, followed by the run's update options. Returns -1 (the
// tool's own) when no mail database is known, or the code of the failed step
// (its error line already printed).
Outcome PlanCreateMailbox(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                          const std::string& dn, const std::string& overrideMdb,
                          DirectoryObjectService& service, ObjectPlan* plan);

// Plans the move of the mailbox of `dn` to `overrideMdb`, or the run's
// homeMdbDn. Returns as PlanCreateMailbox.
Outcome PlanMoveMailbox(Reporter& reporter, const RunSettings& settings, const std::string& dn,
                        const std::string& overrideMdb, DirectoryObjectService& service,
                        ObjectPlan* plan);

}  // namespace varnel
