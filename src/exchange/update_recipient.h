// The update of an existing recipient: address-list visibility (-hfal hides,
// -uhfal shows) and mailbox storage limits (-quota), planned as part of the
// object's one modify request so that it is never left half-changed.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "exchange/run_settings.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

// Appends to *mods what the options change on the object `dn`:
//   -hfal   sets msExchHideFromAddressLists TRUE and removes showInAddressBook;
//   -uhfal  sets msExchHideFromAddressLists FALSE;
//   -quota  sets mDBUseDefaults and the given limits in kilobytes and removes
//           the limits it leaves unset (the command line has checked the value).
// Removals are limited to attributes the object holds (read once beforehand,
// only when a removal may be needed) and come first, followed by the
// settings in the order above. Returns the read's code when the object cannot
// be read (nothing appended).
//
// Debug traces: "\nDEBUG: Retrieving DN attributes..." + dn before the read,
// then "DEBUG: Setting " + dn, "DEBUG: Clear - " per removal, "DEBUG: Set -
// name to value" per setting and "DEBUG: modcnt=" with the number appended.
Outcome PlanUpdate(Reporter& reporter, LdapConnection& session, const std::string& dn,
                   const UpdateOptions& options, std::vector<LdapModification>* mods);

}  // namespace varnel
