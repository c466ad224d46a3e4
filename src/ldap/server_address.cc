#include "ldap/server_address.h"

#include <cctype>

#include "text/string_helpers.h"

namespace varnel {
namespace {

constexpr uint64_t kMaxPort = 65535;
constexpr uint64_t kGlobalCatalogPort = 3268;
constexpr uint64_t kGlobalCatalogTlsPort = 3269;

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool IsAddress6Character(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

}  // namespace

std::optional<HostPort> SplitHostPort(std::string_view text) {
  HostPort parts;
  size_t hostEnd = text.find(':');
  if (!text.empty() && text.front() == '[') {
    hostEnd = text.find(']');
    if (hostEnd == std::string_view::npos || hostEnd == 1) return std::nullopt;
    for (char c : text.substr(1, hostEnd - 1))
      if (!IsAddress6Character(c)) return std::nullopt;
    ++hostEnd;
    if (hostEnd < text.size() && text[hostEnd] != ':') return std::nullopt;
  }
  if (hostEnd >= text.size()) {
    parts.host = std::string(text);
    return parts;
  }
  parts.host = std::string(text.substr(0, hostEnd));
  parts.hasPort = true;
  parts.port = std::string(text.substr(hostEnd + 1));
  return parts;
}

bool IsServerUriText(std::string_view text) { return text.find("://") != std::string_view::npos; }

std::optional<ServerUri> ParseServerUri(std::string_view text) {
  ServerUri uri;
  const std::string lower = LowerCase(text);
  std::string_view rest = text;
  if (lower.rfind("ldaps://", 0) == 0) {
    uri.tls = true;
    rest.remove_prefix(8);
  } else if (lower.rfind("ldap://", 0) == 0) {
    rest.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);

  size_t hostEnd = 0;
  if (!rest.empty() && rest.front() == '[') {
    hostEnd = rest.find(']');
    if (hostEnd == std::string_view::npos || hostEnd == 1) return std::nullopt;
    for (char c : rest.substr(1, hostEnd - 1))
      if (!IsAddress6Character(c)) return std::nullopt;
    ++hostEnd;
  } else {
    while (hostEnd < rest.size() && IsNameCharacter(rest[hostEnd])) ++hostEnd;
    if (hostEnd == 0) return std::nullopt;
  }
  uri.host = std::string(rest.substr(0, hostEnd));
  rest.remove_prefix(hostEnd);
  if (rest.empty()) return uri;
  if (rest.front() != ':') return std::nullopt;
  const std::optional<uint64_t> port = ParseDecimal(rest.substr(1), kMaxPort);
  if (!port || *port == 0) return std::nullopt;
  uri.port = static_cast<int>(*port);
  return uri;
}

std::optional<int> GlobalCatalogPort(std::string_view text) {
  std::optional<uint64_t> port;
  if (IsServerUriText(text)) {
    if (const std::optional<ServerUri> uri = ParseServerUri(text); uri && uri->port)
      port = static_cast<uint64_t>(*uri->port);
  } else if (const std::optional<HostPort> parts = SplitHostPort(text); parts && parts->hasPort) {
    port = ParseDecimal(parts->port, kMaxPort);
  }
  if (port == kGlobalCatalogPort || port == kGlobalCatalogTlsPort) return static_cast<int>(*port);
  return std::nullopt;
}

}  // namespace varnel
