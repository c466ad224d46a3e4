// A directory server as -h, the DC locator or an ADsPath names it: "host[:port]",
// or an LDAP URL "ldap://host[:port][/]" or "ldaps://host[:port][/]". The host
// may be a bracketed IPv6 address, "[::1]:389". Over ldaps:// the session
// runs inside TLS from its first byte. libldap's URL parser reads both forms;
// this is the one place a server text is taken apart.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

struct ServerAddress {
  bool tls = false;  // ldaps://
  std::string host;  // as written; an IPv6 address keeps its brackets
  int port = 389;    // as written, else 389, or 636 over ldaps://

  // "ldap://host:port" or "ldaps://host:port", as libldap takes it.
  std::string Url() const;
};

// The server a text names; nullopt for anything else: another scheme, an
// empty host, a bad or empty port, a DN, attributes or extensions, user
// information, several servers.
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

// 3268 and 3269 (over TLS) are the global catalog's ports: it answers
// searches but takes no change.
bool IsGlobalCatalogPort(int port);

// The error line that refuses a global catalog port; `named` says where the
// server was named ("-h dc1:3268", "URI ldap://dc1:3268").
std::string GlobalCatalogRefusal(std::string_view named, int port);

}  // namespace varnel
