// ADsPaths of directory objects: "LDAP://", an optional server and "/", then
// the object's DN. Built from the run's -h host and an item's DN; taken apart
// by the directory object service when it binds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "exchange/hresult.h"

namespace varnel {

// "LDAP://" + host + "/" + dn, or "LDAP://" + dn when host is empty. Both
// texts are used exactly as given.
std::string BuildAdsPath(const std::string& host, const std::string& dn);

struct AdsPath {
  std::optional<std::string> server;  // none: the LDAP library's default server
  std::string dn;
};

// Takes a path apart. After the "LDAP://" prefix (any letter case) the text
// up to the first "/" is the server when it holds no "="; otherwise all of it
// is the DN, which may itself hold "/". A server written as a URI
// ("LDAP://ldaps://dc1:636/CN=...") runs to the first "/" after its "//".
// Returns 0, or kEAdsBadPathname for a missing prefix, an empty server or DN,
// or a DN without any "=".
HResult ParseAdsPath(std::u16string_view path, AdsPath* parsed);

}  // namespace varnel
