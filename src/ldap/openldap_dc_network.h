// The DC locator's network through libldap: SRV records through
// ldap_domain2hostlist (the resolver's own settings), and LDAP pings as an
// anonymous base search of the RootDSE over TCP, each bounded by a few seconds.
#pragma once

#include "ldap/dc_locator.h"

namespace varnel {

class OpenLdapDcNetwork : public DcLocatorNetwork {
 public:
  bool LookUp(const std::string& name, std::vector<ServerAddress>* targets,
              std::string* error) override;
  bool Ping(const ServerAddress& target, const std::string& domain, std::string* netlogon,
            std::string* error) override;

  // How long a candidate may take to connect, and then to answer.
  static constexpr int kPingSeconds = 3;
};

}  // namespace varnel
