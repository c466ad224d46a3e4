#include "ldap/dc_locator.h"

#include "ldap/netlogon_response.h"

namespace varnel {
namespace {

std::string SrvName(const std::string& name) { return "_ldap._tcp." + name; }

std::string Named(const ServerAddress& target) {
  return target.host + ":" + std::to_string(target.port);
}

// A candidate that answered its ping as a writable LDAP DC.
struct Answer {
  ServerAddress dc;
  NetlogonResponse response;
};

class Search {
 public:
  Search(DcLocatorNetwork& network, const std::string& domain, DcSearch* result)
      : network_(network), domain_(domain), result_(*result) {}

  // The targets of one SRV name; empty (with the reason traced) when none.
  std::vector<ServerAddress> LookUp(const std::string& name) {
    result_.trace.push_back("looking up SRV " + SrvName(name));
    std::vector<ServerAddress> targets;
    std::string error;
    if (!network_.LookUp(name, &targets, &error) || targets.empty()) {
      result_.trace.push_back("no SRV records " + SrvName(name) + " (" + error + ")");
      return {};
    }
    return targets;
  }

  // Pings one target; the answer when it is a writable LDAP DC of the domain.
  std::optional<Answer> Ping(const ServerAddress& target) {
    std::string netlogon, error;
    std::optional<NetlogonResponse> response;
    if (!network_.Ping(target, domain_, &netlogon, &error)) {
      // the reason is the network's
    } else if (!(response = ParseNetlogonResponse(netlogon))) {
      error = "no LDAP ping answer";
    } else if ((response->flags & kDcWritableFlag) == 0) {
      error = "a read-only DC";
    } else if ((response->flags & kDcLdapFlag) == 0) {
      error = "serves no LDAP";
    }
    if (!error.empty()) {
      PassOver(target, error);
      return std::nullopt;
    }
    Answer answer{target, *response};
    // Kerberos knows the DC by its DNS name, which the DC itself gives.
    if (!response->dnsHostName.empty()) answer.dc.host = response->dnsHostName;
    return answer;
  }

  void PassOver(const ServerAddress& target, const std::string& why) {
    result_.trace.push_back(Named(target) + ": passed over (" + why + ")");
    failures_.push_back(Named(target) + ": " + why);
  }

  void Keep(const Answer& answer, const std::string& why) {
    result_.trace.push_back(Named(answer.dc) + ": kept (" + why + ")");
    result_.dc = answer.dc;
  }

  std::string Failures() const {
    std::string text;
    for (const std::string& failure : failures_) text += (text.empty() ? "" : "; ") + failure;
    return text;
  }

 private:
  DcLocatorNetwork& network_;
  const std::string& domain_;
  DcSearch& result_;
  std::vector<std::string> failures_;
};

std::string SiteText(const NetlogonResponse& response) {
  return response.dcSiteName.empty() ? "no site" : "site " + response.dcSiteName;
}

}  // namespace

DcSearch LocateDomainController(DcLocatorNetwork& network, const std::string& domain) {
  DcSearch result;
  Search search(network, domain, &result);
  const std::string domainName = "dc._msdcs." + domain;
  const std::vector<ServerAddress> targets = search.LookUp(domainName);
  if (targets.empty()) {
    result.failure = "DNS has no SRV records " + SrvName(domainName);
    return result;
  }
  std::optional<Answer> first;
  for (const ServerAddress& target : targets) {
    if ((first = search.Ping(target))) break;
  }
  if (!first) {
    result.failure = "no DC listed by SRV " + SrvName(domainName) + " answered as a writable DC (" +
                     search.Failures() + ")";
    return result;
  }
  const std::string& site = first->response.clientSiteName;
  if ((first->response.flags & kDcClosestFlag) != 0 || site.empty()) {
    search.Keep(*first, "writable DC, " + SiteText(first->response));
    return result;
  }
  // The first DC to answer is not in the client's site: one that is serves
  // the run better, when one answers.
  result.trace.push_back(Named(first->dc) + ": writable, but not in the client's site " + site);
  for (const ServerAddress& target : search.LookUp(site + "._sites." + domainName)) {
    if (std::optional<Answer> local = search.Ping(target)) {
      search.Keep(*local, "writable DC of the client's site " + site);
      return result;
    }
  }
  search.Keep(*first,
              "writable DC, " + SiteText(first->response) + "; none of site " + site + " answered");
  return result;
}

std::string NoDomainControllerLine(const std::string& domain, const std::string& failure) {
  return "ERROR: No domain controller found for " + domain + ": " + failure +
         ". Name one with -h, or with URI in ldap.conf; the domain is the realm of the Kerberos "
         "ticket (klist, kinit).";
}

}  // namespace varnel
