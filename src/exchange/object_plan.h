// One object's whole change, computed before anything is written: the
// modifications that go to the directory in a single modify request, so that
// the object is changed completely or not at all.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

struct ObjectPlan {
  // How a refusal of the request is reported: as a plain LDAP modify (clear,
  // update) or as the save of the directory object service (create, move,
  // mail-enable), each with its own error line.
  enum class Writer { kLdap, kDirectoryObject };

  std::string dn;                      // the object the request goes to
  std::vector<LdapModification> mods;  // empty: nothing to change, nothing is sent
  Writer writer = Writer::kLdap;
};

// Sends the plan in one modify request (nothing when it is empty). A refusal
// leaves the object as it was and prints the writer's error line: for the
// directory object service " - ERROR: (SetInfo) " and the mapped code, for a
// plain modify the LDAP error line unless quiet.
Outcome SendPlan(Reporter& reporter, LdapConnection& session, const ObjectPlan& plan);

// The outcome of a sent plan whose request ended in `rc`, with the writer's
// error line (and the "DEBUG: uErr=" trace) as SendPlan prints them.
Outcome PlanResult(Reporter& reporter, const ObjectPlan& plan, int rc);

// True when a request that ended in `resultCode` may have changed the object
// all the same: the connection was lost or the answer did not come.
bool MayHaveLanded(int resultCode);

// The plan as an LDIF change record (RFC 2849): exactly the request SendPlan
// sends. Empty for an empty plan.
std::string PlanAsLdif(const ObjectPlan& plan);

}  // namespace varnel
