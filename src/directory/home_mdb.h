// Resolution of a mail database named on the command line or an input line:
// either its DN, or Server:StorageGroup:Database found by directory searches
// below the Exchange services container.
#pragma once

#include <string>
#include <vector>

#include "diag/outcome.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class ItemLines;

// Sets *dn to the DN of the private mail database that `mdbSpec` names. When
// it cannot be resolved, *dn is "" and the outcome is "no such object" with
// the one "ERROR:" line added to standard output.
//
// The text is cut at `delimiter` into three fields (the third keeps any
// further delimiters). With the first and third fields both non-empty it is
// the short form: the server is searched below `baseDn`, the storage group
// below the server and the database below the storage group, each by its
// name (escaped for the filter, so names match only themselves). Otherwise
// the first field is a DN, accepted as given when it names a private mail
// database itself. The lines are added to `lines`: progress lines are
// hidden by its quiet flag; the "ERROR:" lines are not.
Outcome ResolveHomeMDB(ItemLines& lines, LdapConnection& session, const std::string& baseDn,
                       const std::string& mdbSpec, const std::string& delimiter, std::string* dn);

// The searches ResolveHomeMDB makes for `mdbSpec`, to be sent ahead
// together (searches_ahead.h): the short form's three, each from `baseDn`,
// so that none waits for the one before; the full form's one.
std::vector<LdapSearchRequest> HomeMdbSearches(const std::string& baseDn,
                                               const std::string& mdbSpec,
                                               const std::string& delimiter);

}  // namespace varnel
