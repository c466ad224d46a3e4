#include "ldap/openldap_dc_network.h"

#include <ldap.h>

#include <memory>

#include "ldap/filter_escape.h"
#include "ldap/openldap_connection.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

struct TextDeleter {
  void operator()(char* text) const { ldap_memfree(text); }
};
struct MessageDeleter {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
struct ValuesDeleter {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};

}  // namespace

bool OpenLdapDcNetwork::LookUp(const std::string& name, std::vector<ServerAddress>* targets,
                               std::string* error) {
  targets->clear();
  char* raw = nullptr;
  // libldap looks up _ldap._tcp.<name> and orders the targets by priority,
  // then at random by weight, as RFC 2782 has it.
  const int rc = ldap_domain2hostlist(name.c_str(), &raw);
  const std::unique_ptr<char, TextDeleter> list(raw);
  if (rc != LDAP_SUCCESS || list == nullptr) {
    *error = ldap_err2string(rc);
    return false;
  }
  std::vector<std::string> words;
  Split(list.get(), " ", &words);
  for (const std::string& word : words) {
    if (std::optional<ServerAddress> target = ParseServerAddress(word)) targets->push_back(*target);
  }
  if (targets->empty()) *error = "no usable target in \"" + std::string(list.get()) + "\"";
  return !targets->empty();
}

bool OpenLdapDcNetwork::Ping(const ServerAddress& target, const std::string& domain,
                             std::string* netlogon, std::string* error) {
  LDAP* raw = nullptr;
  int rc = ldap_initialize(&raw, target.Url().c_str());
  LdapSessionPtr session(raw);
  if (rc != LDAP_SUCCESS || !session) {
    *error = ldap_err2string(rc);
    return false;
  }
  const int version = LDAP_VERSION3;
  timeval timeout{kPingSeconds, 0};
  ldap_set_option(session.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(session.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(session.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  // NtVer 6 (NETLOGON_NT_VERSION_5 | NETLOGON_NT_VERSION_5EX) asks for the
  // extended answer, which names the DC's and the client's sites.
  const std::string filter =
      "(&(DnsDomain=" + EscapeFilterValue(domain) + ")(NtVer=\\06\\00\\00\\00))";
  char netlogonAttribute[] = "netlogon";
  char* attributes[] = {netlogonAttribute, nullptr};
  LDAPMessage* rawResult = nullptr;
  rc = ldap_search_ext_s(session.get(), "", LDAP_SCOPE_BASE, filter.c_str(), attributes, 0, nullptr,
                         nullptr, &timeout, 1, &rawResult);
  const std::unique_ptr<LDAPMessage, MessageDeleter> result(rawResult);
  if (rc != LDAP_SUCCESS) {
    *error = ldap_err2string(rc);
    return false;
  }
  LDAPMessage* entry = ldap_first_entry(session.get(), result.get());
  const std::unique_ptr<berval*, ValuesDeleter> values(
      entry != nullptr ? ldap_get_values_len(session.get(), entry, "netlogon") : nullptr);
  if (values == nullptr || values.get()[0] == nullptr) {
    *error = "no netlogon in its answer";
    return false;
  }
  netlogon->assign(values.get()[0]->bv_val, values.get()[0]->bv_len);
  return true;
}

}  // namespace varnel
