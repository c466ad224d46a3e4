// The mailbox actions of one work item: creating a mailbox for a user in a
// mail database (followed by the update of quotas and address-list
// visibility) and moving a mailbox to another mail database, both through the
// directory object service.
#pragma once

#include <cstdint>
#include <string>

#include "cli/run_settings.h"
#include "cli/switch_table.h"
#include "exchange/directory_object_service.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// Creates the mailbox of `dn` in `overrideMdb`, or the run's homeMdbDn when
// that is empty, saves it and then runs UpdateRecipient on the object.
// Returns 0, -1 when no mail database is known, the code of the failed step
// (already printed), or the update's status.
int32_t CreateDNMailbox(LdapConnection& session, const RunSettings& settings, const std::string& dn,
                        const std::string& overrideMdb, const SwitchTable& switches,
                        DirectoryObjectService& service);

// Moves the mailbox of `dn` to `overrideMdb`, or the run's homeMdbDn, and
// saves it. Returns 0, -1 when no mail database is known, or the code of the
// failed step (already printed).
int32_t MoveDNMailbox(const RunSettings& settings, const std::string& dn,
                      const std::string& overrideMdb, DirectoryObjectService& service);

}  // namespace varnel
