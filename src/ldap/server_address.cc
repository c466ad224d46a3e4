#include "ldap/server_address.h"

#include <ldap.h>

#include <cctype>
#include <memory>

#include "text/string_helpers.h"

namespace varnel {
namespace {

struct UrlDescFree {
  void operator()(LDAPURLDesc* desc) const { ldap_free_urldesc(desc); }
};

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool IsAddress6Character(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

bool AllOf(std::string_view text, bool (*allowed)(char)) {
  for (char c : text)
    if (!allowed(c)) return false;
  return !text.empty();
}

}  // namespace

std::string ServerAddress::Url() const {
  return (tls ? "ldaps://" : "ldap://") + host + ":" + std::to_string(port);
}

std::optional<ServerAddress> ParseServerAddress(std::string_view text) {
  // A search part (attributes, scope, filter, extensions) names no server; nor
  // does a blank, which would make a list of several. Escapes and signs,
  // which libldap's parser would read past, have no place in a host or port.
  for (char c : text)
    if (c == '?' || c == '%' || c == '+' || std::isspace(static_cast<unsigned char>(c)) != 0)
      return std::nullopt;
  const bool written = text.find("://") != std::string_view::npos;
  const std::string url = written ? std::string(text) : "ldap://" + std::string(text);
  const std::string scheme = LowerCase(std::string_view(url).substr(0, url.find("://")));
  if (scheme != "ldap" && scheme != "ldaps") return std::nullopt;

  LDAPURLDesc* raw = nullptr;
  if (ldap_url_parse(url.c_str(), &raw) != LDAP_URL_SUCCESS) return std::nullopt;
  const std::unique_ptr<LDAPURLDesc, UrlDescFree> desc(raw);
  if (desc->lud_host == nullptr || (desc->lud_dn != nullptr && desc->lud_dn[0] != '\0') ||
      desc->lud_attrs != nullptr || desc->lud_filter != nullptr || desc->lud_exts != nullptr)
    return std::nullopt;

  ServerAddress address;
  address.tls = ldap_is_ldaps_url(url.c_str()) != 0;
  const std::string_view host = desc->lud_host;
  // libldap takes the brackets off an IPv6 address; they go back on, as the
  // address was written and as a URL needs them.
  const bool bracketed = url.find("://[") != std::string::npos;
  if (bracketed ? !AllOf(host, IsAddress6Character) : !AllOf(host, IsNameCharacter))
    return std::nullopt;
  address.host = bracketed ? "[" + std::string(host) + "]" : std::string(host);
  address.port = address.tls ? 636 : 389;
  // libldap reads past what follows the host, and takes any port strtol
  // reads: the rest must be nothing, or ":" and a port from 1 to 65535.
  std::string_view rest = std::string_view(url).substr(url.find("://") + 3);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  if (!rest.starts_with(address.host)) return std::nullopt;
  rest.remove_prefix(address.host.size());
  if (rest.empty()) return address;
  const std::optional<uint64_t> port =
      rest[0] == ':' ? ParseDecimal(rest.substr(1), 65535) : std::nullopt;
  if (!port || *port == 0) return std::nullopt;
  address.port = static_cast<int>(*port);
  return address;
}

bool IsGlobalCatalogPort(int port) { return port == 3268 || port == 3269; }

std::string GlobalCatalogRefusal(std::string_view named, int port) {
  return "ERROR: " + std::string(named) + " names the global catalog (port " +
         std::to_string(port) + "), which is read-only; use the domain controller's port " +
         (port == 3269 ? "636 (ldaps://)" : "389") + ".";
}

}  // namespace varnel
