// The answer to an LDAP ping: the RootDSE's "netlogon" attribute, a
// NETLOGON_SAM_LOGON_RESPONSE_EX structure, as a DC returns it for a search
// with the filter (&(DnsDomain=...)(NtVer=\06\00\00\00)). Its names are DNS
// names in the compressed form of RFC 1035, pointers counted from the start
// of the structure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// The flags of the answer that the locator looks at.
inline constexpr uint32_t kDcLdapFlag = 0x8;        // DS_LDAP_FLAG: serves LDAP
inline constexpr uint32_t kDcClosestFlag = 0x80;    // DS_CLOSEST_FLAG: in the client's site
inline constexpr uint32_t kDcWritableFlag = 0x100;  // DS_WRITABLE_FLAG: takes changes

struct NetlogonResponse {
  uint32_t flags = 0;
  std::string dnsDomainName;
  std::string dnsHostName;
  std::string dcSiteName;
  std::string clientSiteName;
};

// nullopt for anything but a whole, well-formed answer of that kind: a
// short or truncated value, a name pointer that leads out of the value or
// back onto itself, another operation code.
std::optional<NetlogonResponse> ParseNetlogonResponse(std::string_view bytes);

}  // namespace varnel
