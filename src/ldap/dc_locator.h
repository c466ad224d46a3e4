// Finds a writable domain controller of a domain when no server is named, as
// the Windows DC locator, adcli and sssd do: the DNS SRV records
// _ldap._tcp.dc._msdcs.<domain>, then an LDAP ping to each target in their
// order, keeping the first writable DC that answers; a DC outside the
// client's site gives way to one of the site's own, when one answers.
// The network is a seam: DNS and the pings are the real one's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ldap/server_address.h"

namespace varnel {

class DcLocatorNetwork {
 public:
  virtual ~DcLocatorNetwork() = default;
  // The targets of the SRV records _ldap._tcp.<name>, in priority and weight
  // order; false, with *error saying why, when there are none.
  virtual bool LookUp(const std::string& name, std::vector<ServerAddress>* targets,
                      std::string* error) = 0;
  // The netlogon value one target answers an LDAP ping for `domain` with;
  // false, with *error saying why, when it does not answer in time.
  virtual bool Ping(const ServerAddress& target, const std::string& domain, std::string* netlogon,
                    std::string* error) = 0;
};

struct DcSearch {
  // The DC by its DNS name, which Kerberos needs, and the port of its record.
  std::optional<ServerAddress> dc;
  // One line per step: each look-up, and each candidate with why it was kept
  // or passed over.
  std::vector<std::string> trace;
  // When none was found: what was tried.
  std::string failure;
};

DcSearch LocateDomainController(DcLocatorNetwork& network, const std::string& domain);

// The line printed when no DC was found for `domain`.
std::string NoDomainControllerLine(const std::string& domain, const std::string& failure);

}  // namespace varnel
