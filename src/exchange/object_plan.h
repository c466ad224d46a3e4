// One object's whole change, computed before anything is written: the
// modifications that go to the directory in a single modify request, so that
// the object is changed completely or not at all.
#pragma once

#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

struct ObjectPlan {
  // How a refusal of the request is reported: as a plain LDAP modify (clear,
  // update) or as the save of a directory object (create, move,
  // mail-enable), each with its own error line.
  enum class Writer { kLdap, kDirectoryObject };

  std::string dn;                      // the object the request goes to
  std::vector<LdapModification> mods;  // empty: nothing to change, nothing is sent
  Writer writer = Writer::kLdap;
};

// Drops from *mods each modification that would leave its attribute exactly
// as `object` holds it: a value set to the values it has (in any order), or a
// removal of an attribute it lacks. In Active Directory every write is an
// originating update that replicates, needed or not.
void DropUnchangedModifications(const LdapEntry& object, std::vector<LdapModification>* mods);

// The names of the attributes the modifications change, in order, once each.
std::vector<std::string> ChangedAttributes(const std::vector<LdapModification>& mods);

// The object as it is after the modifications (a preview of later items of
// the same object is planned from it).
void ApplyModifications(const std::vector<LdapModification>& mods, LdapEntry* object);

// True when `object` holds what `mods` write: after a write whose answer was
// lost, that it landed.
bool HoldsModifications(const LdapEntry& object, const std::vector<LdapModification>& mods);

// True when a request that ended in `resultCode` may have changed the object
// all the same: the connection was lost or the answer did not come.
bool MayHaveLanded(int resultCode);

}  // namespace varnel
