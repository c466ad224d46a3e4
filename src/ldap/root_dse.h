// Reading the server's RootDSE once after the bind into RootDseInfo.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ldap/ldap_connection.h"

namespace varnel {

class Reporter;

struct RootDseInfo {
  std::string schemaNamingContext;
  std::string configurationNamingContext;
  std::string defaultNamingContext;
  std::string rootDomainNamingContext;
  std::string dnsHostName;
  std::string dsServiceName;
  std::string highestCommittedUsn;
  std::string ldapServiceName;
  std::string serverName;
  bool hasLdapInteg = false;
  bool isActiveDirectory = false;
  bool isActiveDirectoryV51 = false;
  bool isAdam = false;
  int namingContextCount = 0;
  std::vector<std::string> namingContexts;
  std::map<std::string, bool> supportedCapabilities;
  std::string currentTime;
  bool gathered = false;
};

// The search that reads the root DSE.
LdapSearchRequest RootDseRequest();

// What the root DSE's answer says; gathered is set.
RootDseInfo RootDseOf(const std::vector<LdapEntry>& entries);

// Resets and fills info; a failed search prints its trace and leaves
// gathered false.
void ReadRootDse(Reporter& reporter, RootDseInfo& info, LdapConnection& session);

}  // namespace varnel
