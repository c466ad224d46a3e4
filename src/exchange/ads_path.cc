#include "exchange/ads_path.h"

#include "text/string_helpers.h"

namespace varnel {
namespace {

constexpr std::string_view kPrefix = "ldap://";

}  // namespace

std::string BuildAdsPath(const std::string& host, const std::string& dn) {
  std::string path = "LDAP://";
  if (!host.empty()) path += host + "/";
  return path + dn;
}

Outcome CheckAdsPath(std::string_view path) {
  if (path.size() < kPrefix.size() || LowerCase(path.substr(0, kPrefix.size())) != kPrefix)
    return Outcome::HResult(kEAdsBadPathname);
  const std::string_view rest = path.substr(kPrefix.size());

  // A server written as an LDAP URI ("LDAP://ldaps://host:636/DN", built from
  // such a -h) ends at the first "/" after its "//".
  size_t serverFrom = 0;
  for (std::string_view scheme : {"ldap://", "ldaps://"}) {
    if (LowerCase(rest.substr(0, scheme.size())) == scheme) serverFrom = scheme.size();
  }
  const size_t slash = rest.find('/', serverFrom);
  if (serverFrom > 0 && slash == std::string_view::npos) return Outcome::HResult(kEAdsBadPathname);
  std::string_view dn = rest;
  if (slash != std::string_view::npos &&
      rest.substr(0, slash).find('=') == std::string_view::npos) {
    if (slash == 0) return Outcome::HResult(kEAdsBadPathname);  // an empty server
    dn = rest.substr(slash + 1);
  }
  return dn.find('=') == std::string_view::npos ? Outcome::HResult(kEAdsBadPathname)
                                                : Outcome::Ok();
}

}  // namespace varnel
