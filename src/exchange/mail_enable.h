// Mail-enabling one work item: a group, contact or user becomes a mail
// recipient with an external target address through the directory object
// service; non-groups also get the run's internetEncoding, and the update of
// quotas and address-list visibility joins the same request.
#pragma once

#include <string>

#include "diag/outcome.h"
#include "exchange/directory_object_service.h"
#include "exchange/object_plan.h"
#include "exchange/run_settings.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

// The target address handed to the service: the run's targetAddress, replaced
// by the object's first "mail" value when -keepmail finds one, replaced by
// `overrideEmail` when that is not empty; "SMTP:" is put in front of a
// non-empty address without any ":".
std::u16string ChooseTargetAddress(Reporter& reporter, LdapConnection& session,
                                   const RunSettings& settings, const std::string& dn,
                                   const std::string& overrideEmail);

// Plans the mail-enabling of `dn` into *plan without writing. Returns the code
// of the failed service step (its error line already printed) or of the
// update's read.
Outcome PlanMailEnable(Reporter& reporter, LdapConnection& session, const RunSettings& settings,
                       const std::string& dn, const std::string& overrideEmail,
                       DirectoryObjectService& service, ObjectPlan* plan);

}  // namespace varnel
