#include "exchange/ads_path.h"

#include "platform/code_page.h"
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

HResult ParseAdsPath(std::u16string_view path, AdsPath* parsed) {
  const std::string text = WideToNarrow(path);
  if (text.size() < kPrefix.size() || LowerCase(text.substr(0, kPrefix.size())) != kPrefix)
    return kEAdsBadPathname;
  const std::string rest = text.substr(kPrefix.size());

  AdsPath result;
  // A server written as an LDAP URI ("LDAP://ldaps://host:636/DN", built from
  // such a -h) ends at the first "/" after its "//".
  size_t serverFrom = 0;
  for (std::string_view scheme : {"ldap://", "ldaps://"}) {
    if (LowerCase(rest.substr(0, scheme.size())) == scheme) serverFrom = scheme.size();
  }
  const size_t slash = rest.find('/', serverFrom);
  if (serverFrom > 0 && slash == std::string::npos) return kEAdsBadPathname;
  if (slash != std::string::npos && rest.substr(0, slash).find('=') == std::string::npos) {
    result.server = rest.substr(0, slash);
    result.dn = rest.substr(slash + 1);
    if (result.server->empty()) return kEAdsBadPathname;
  } else {
    result.dn = rest;
  }
  if (result.dn.find('=') == std::string::npos) return kEAdsBadPathname;
  *parsed = std::move(result);
  return kSOk;
}

}  // namespace varnel
