#include "ldap/root_dse.h"

#include "ldap/ldap_connection.h"
#include "ldap/ldap_error.h"

namespace varnel {

LdapSearchRequest RootDseRequest() {
  LdapSearchRequest request;
  request.base = "";
  request.scope = LdapScope::kBase;
  request.filter = "(objectClass=*)";
  return request;
}

RootDseInfo RootDseOf(const std::vector<LdapEntry>& entries) {
  RootDseInfo info;
  static const std::vector<std::string> kNone;
  const LdapEntry empty;
  const LdapEntry& entry = entries.empty() ? empty : entries.front();
  auto values = [&](const char* name) -> const std::vector<std::string>& {
    const std::vector<std::string>* found = entry.Find(name);
    return found ? *found : kNone;
  };
  auto first = [&](const char* name, std::string& field) {
    const std::vector<std::string>& v = values(name);
    if (!v.empty()) field = v.front();
  };
  first("schemaNamingContext", info.schemaNamingContext);
  first("defaultNamingContext", info.defaultNamingContext);
  first("configurationNamingContext", info.configurationNamingContext);
  info.namingContexts = values("namingContexts");
  info.namingContextCount = static_cast<int>(info.namingContexts.size());
  first("currentTime", info.currentTime);
  first("rootDomainNamingContext", info.rootDomainNamingContext);
  first("dnsHostName", info.dnsHostName);
  first("dsServiceName", info.dsServiceName);
  first("highestCommittedUsn", info.highestCommittedUsn);
  first("ldapServiceName", info.ldapServiceName);
  first("serverName", info.serverName);
  for (const std::string& oid : values("supportedCapabilities"))
    info.supportedCapabilities[oid] = true;

  auto has = [&](const char* oid) { return info.supportedCapabilities.count(oid) != 0; };
  info.hasLdapInteg = has("1.2.840.113556.1.4.1791");
  info.isActiveDirectory = has("1.2.840.113556.1.4.800");
  info.isActiveDirectoryV51 = has("1.2.840.113556.1.4.1670");
  info.isAdam = has("1.2.840.113556.1.4.1851");
  info.gathered = true;
  return info;
}

void ReadRootDse(Reporter& reporter, RootDseInfo& info, LdapConnection& session) {
  info = RootDseInfo{};
  std::vector<LdapEntry> entries;
  const int rc = session.Search(RootDseRequest(), &entries);
  if (rc != 0) {
    PrintSearchError(reporter, rc);
    return;
  }
  info = RootDseOf(entries);
}

}  // namespace varnel
