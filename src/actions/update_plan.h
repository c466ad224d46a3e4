// The update of a recipient's address-list visibility (-hfal hides, -uhfal
// shows) and mailbox storage limits (-quota), planned as part of the
// object's one modify request: the -upd action itself, and what -cr and -me
// add to their own change.
#pragma once

#include <string>
#include <vector>

#include "actions/action.h"
#include "diag/outcome.h"
#include "exchange/run_settings.h"

namespace varnel {

class ItemLines;

// The attributes the options may change.
std::vector<std::string> UpdateAttributes(const UpdateOptions& options);

// Appends to *mods what the options change on the object `dn`:
//   -hfal   sets msExchHideFromAddressLists TRUE and removes showInAddressBook;
//   -uhfal  sets msExchHideFromAddressLists FALSE;
//   -quota  sets mDBUseDefaults and the given limits in kilobytes and removes
//           the limits it leaves unset (the command line has checked the value).
// Removals are limited to attributes the object as read holds, come first,
// and need the object: when it could not be read, that read's code is
// returned (with the failed search's lines) and nothing appended. A setting
// the change already holds is set once, to the update's value.
//
// Debug traces: "\nDEBUG: Retrieving DN attributes..." + dn where removals
// are possible, then "DEBUG: Setting " + dn, "DEBUG: Clear - " per removal,
// "DEBUG: Set - name to value" per setting and "DEBUG: modcnt=" with the
// number appended.
Outcome AppendUpdate(ItemLines& lines, const std::string& dn, const UpdateOptions& options,
                     const ObjectRead& object, std::vector<LdapModification>* mods);

// The names of the attributes the object as read holds, lower-cased.
std::vector<std::string> HeldNames(const ObjectRead& object);

}  // namespace varnel
