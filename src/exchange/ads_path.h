// ADsPaths of directory objects: "LDAP://", an optional server and "/", then
// the object's DN. Built from the run's -h host and an item's DN; checked as
// the directory object service takes it apart when it binds.
#pragma once

#include <string>
#include <string_view>

#include "diag/outcome.h"
#include "exchange/hresult.h"

namespace varnel {

// "LDAP://" + host + "/" + dn, or "LDAP://" + dn when host is empty. Both
// texts are used exactly as given.
std::string BuildAdsPath(const std::string& host, const std::string& dn);

// Whether a path names an object. After the "LDAP://" prefix (any letter
// case) the text up to the first "/" is the server when it holds no "=";
// otherwise all of it is the DN, which may itself hold "/". A server written
// as a URI ("LDAP://ldaps://dc1:636/CN=...") runs to the first "/" after its
// "//". Ok, or kEAdsBadPathname for a missing prefix, an empty server or DN,
// or a DN without any "=".
Outcome CheckAdsPath(std::string_view path);

}  // namespace varnel
