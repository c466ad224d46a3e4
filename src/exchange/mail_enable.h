// Mail-enabling one work item: a group, contact or user becomes a mail
// recipient with an external target address through the directory object
// service; non-groups then get the run's internetEncoding, and the update of
// quotas and address-list visibility follows.
#pragma once

#include <cstdint>
#include <string>

#include "cli/run_settings.h"
#include "cli/switch_table.h"
#include "exchange/directory_object_service.h"
#include "ldap/ldap_connection.h"

namespace varnel {

// The target address handed to the service: the run's targetAddress, replaced
// by the object's first "mail" value when -keepmail finds one, replaced by
// `overrideEmail` when that is not empty; "SMTP:" is put in front of a
// non-empty address without any ":".
std::u16string ChooseTargetAddress(LdapConnection& session, const RunSettings& settings,
                                   const std::string& dn, const std::string& overrideEmail,
                                   const SwitchTable& switches);

// Mail-enables `dn`. Returns 0, the code of the failed service step (already
// printed), or the status of the closing UpdateRecipient.
int32_t MailEnableDN(LdapConnection& session, const RunSettings& settings, const std::string& dn,
                     const std::string& overrideEmail, const SwitchTable& switches,
                     DirectoryObjectService& service);

}  // namespace varnel
