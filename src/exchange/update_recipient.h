// The update of an existing recipient: address-list visibility (-hfal hides,
// -uhfal shows) and mailbox storage limits (-quota), written to the object in
// one modify request so that it is never left half-changed.
#pragma once

#include <optional>
#include <string>

#include "ldap/ldap_connection.h"

namespace varnel {

class SwitchTable;

struct UpdateOptions {
  bool hideFromAddressLists = false;    // -hfal
  bool unhideFromAddressLists = false;  // -uhfal
  std::optional<std::string> quota;     // -quota value, when the switch is given
};

// Reads -hfal, -uhfal and -quota from the command line.
UpdateOptions UpdateOptionsFromSwitches(const SwitchTable& switches);

// Applies the options to the object `dn` in a single modify request:
//   -hfal   sets msExchHideFromAddressLists TRUE and removes showInAddressBook;
//   -uhfal  sets msExchHideFromAddressLists FALSE (after the TRUE of -hfal);
//   -quota  sets mDBUseDefaults and the given limits in kilobytes and removes
//           the limits it leaves unset; bad figures print
//           "ERROR: Bad quota values" and drop only the quota part.
// Removals are limited to attributes the object holds (read once beforehand,
// only when a removal may be needed) and come first in the request, followed
// by the settings in the order above. Returns 0 when nothing is to be set (no
// request), the attribute read's code when the object cannot be read (nothing
// sent), or the modify's code (refusals print the LDAP error line unless
// quiet; the object is then unchanged).
//
// Debug traces: "\nDEBUG: Retrieving DN attributes..." + dn before the read,
// then those of the one request: "DEBUG: Setting " + dn, "DEBUG: Clear - "
// per removal, "DEBUG: Set - name to value" per setting, "DEBUG: modcnt=" with
// the number of modifications in the request and "DEBUG: uErr=" with its code.
int UpdateRecipient(LdapConnection& session, const std::string& dn, const UpdateOptions& options);
int UpdateRecipient(LdapConnection& session, const std::string& dn, const SwitchTable& switches);

}  // namespace varnel
