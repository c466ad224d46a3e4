#include "ldap/dc_locator.h"

#include <gtest/gtest.h>

#include <map>

#include "ldap/netlogon_response.h"

namespace varnel {
namespace {

// A ping answer with uncompressed names.
std::string Answer(uint32_t flags, const std::string& host, const std::string& dcSite,
                   const std::string& clientSite) {
  std::string bytes("\x17\x00\x00\x00", 4);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((flags >> (8 * i)) & 0xff));
  bytes.append(16, '\0');
  for (const std::string& name :
       {std::string("example.com"), std::string("example.com"), host, std::string("EXAMPLE"),
        std::string("DC"), std::string(), dcSite, clientSite}) {
    size_t start = 0;
    while (start < name.size()) {
      const size_t dot = std::min(name.find('.', start), name.size());
      bytes.push_back(static_cast<char>(dot - start));
      bytes.append(name, start, dot - start);
      start = dot + 1;
    }
    bytes.push_back('\0');
  }
  return bytes;
}

constexpr uint32_t kWritableHere = kDcLdapFlag | kDcWritableFlag | kDcClosestFlag;

class FakeNetwork : public DcLocatorNetwork {
 public:
  std::map<std::string, std::vector<std::string>> records;  // SRV name -> "host:port"
  std::map<std::string, std::string> answers;               // "host:port" -> netlogon
  std::vector<std::string> pinged;

  bool LookUp(const std::string& name, std::vector<ServerAddress>* targets,
              std::string* error) override {
    auto found = records.find(name);
    if (found == records.end()) {
      *error = "NXDOMAIN";
      return false;
    }
    for (const std::string& target : found->second) targets->push_back(*ParseServerAddress(target));
    return true;
  }
  bool Ping(const ServerAddress& target, const std::string&, std::string* netlogon,
            std::string* error) override {
    const std::string named = target.host + ":" + std::to_string(target.port);
    pinged.push_back(named);
    auto found = answers.find(named);
    if (found == answers.end()) {
      *error = "Can't contact LDAP server";
      return false;
    }
    *netlogon = found->second;
    return true;
  }
};

std::string Found(const DcSearch& search) {
  return search.dc ? search.dc->host + ":" + std::to_string(search.dc->port) : search.failure;
}

TEST(DcLocatorTest, PassesOverDeadAndReadOnlyTargetsInOrder) {
  FakeNetwork network;
  network.records["dc._msdcs.example.com"] = {"dead.example.com:389", "rodc.example.com:389",
                                              "dc2.example.com:3890"};
  network.answers["rodc.example.com:389"] =
      Answer(kDcLdapFlag | kDcClosestFlag, "rodc.example.com", "S", "S");
  // The DC's own DNS name is the one kept, not the record's spelling of it.
  network.answers["dc2.example.com:3890"] = Answer(kWritableHere, "DC2.example.com", "S", "S");
  const DcSearch search = LocateDomainController(network, "example.com");
  EXPECT_EQ(Found(search), "DC2.example.com:3890");
  EXPECT_EQ(search.trace.back(), "DC2.example.com:3890: kept (writable DC, site S)");
  EXPECT_EQ(search.trace[1], "dead.example.com:389: passed over (Can't contact LDAP server)");
  EXPECT_EQ(search.trace[2], "rodc.example.com:389: passed over (a read-only DC)");
}

TEST(DcLocatorTest, PrefersADcOfTheClientsSite) {
  FakeNetwork network;
  network.records["dc._msdcs.example.com"] = {"far.example.com:389"};
  network.records["Near._sites.dc._msdcs.example.com"] = {"near.example.com:389"};
  network.answers["far.example.com:389"] =
      Answer(kDcLdapFlag | kDcWritableFlag, "far.example.com", "Far", "Near");
  network.answers["near.example.com:389"] =
      Answer(kWritableHere, "near.example.com", "Near", "Near");
  EXPECT_EQ(Found(LocateDomainController(network, "example.com")), "near.example.com:389");
  // No DC of the site answers: the first one found serves.
  network.answers.erase("near.example.com:389");
  EXPECT_EQ(Found(LocateDomainController(network, "example.com")), "far.example.com:389");
}

TEST(DcLocatorTest, SaysWhatWasTriedWhenNoneIsFound) {
  FakeNetwork network;
  EXPECT_EQ(Found(LocateDomainController(network, "example.com")),
            "DNS has no SRV records _ldap._tcp.dc._msdcs.example.com");
  network.records["dc._msdcs.example.com"] = {"dead.example.com:389"};
  EXPECT_EQ(Found(LocateDomainController(network, "example.com")),
            "no DC listed by SRV _ldap._tcp.dc._msdcs.example.com answered as a writable DC "
            "(dead.example.com:389: Can't contact LDAP server)");
}

}  // namespace
}  // namespace varnel
