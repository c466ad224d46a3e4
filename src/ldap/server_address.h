// The server text of -h and of an ADsPath: "host[:port]", as it always was
// (the host may be a bracketed IPv6 address, "[::1]:389"), or an LDAP URI, "ldap://host[:port]" or
// "ldaps://host[:port]". Over ldaps:// the session runs inside TLS from its first byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

struct ServerUri {
  bool tls = false;  // ldaps://
  std::string host;  // as written; an IPv6 address keeps its brackets
  std::optional<int> port;
};

// True when the text is written as a URI (it holds "://"); such a text means
// a server only when ParseServerUri takes it.
bool IsServerUriText(std::string_view text);

// "ldap://" or "ldaps://" (letter case ignored), a host name, IPv4 address or
// bracketed IPv6 address, then optionally ":" and a port from 1 to 65535 and
// a final "/". Anything else (another scheme, an empty host, a bad or empty
// port, a path, user information) is nullopt.
std::optional<ServerUri> ParseServerUri(std::string_view text);

// A server text in the "host[:port]" form, cut into its parts.
struct HostPort {
  std::string host;  // a bracketed IPv6 address keeps its brackets
  bool hasPort = false;
  std::string port;  // the text after the host's colon, unchecked
};

// "[" IPv6 address "]", optionally followed by ":" and the port text;
// nullopt when the bracket does not close around an address or something
// else follows it. Any other text is cut at its first colon, as it always
// was.
std::optional<HostPort> SplitHostPort(std::string_view text);

// The port of a server text that names the global catalog, 3268 (or 3269,
// its TLS port), in either form; nullopt for any other port, none, or a text
// that names no server. The global catalog answers searches but takes no
// change.
std::optional<int> GlobalCatalogPort(std::string_view text);

}  // namespace varnel
