// The sandbox's DNS as runs that find the domain controller meet it: through
// sandbox/with-domain-dns, with the records a test changes put back after it.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

// The SRV records of a name, lowest priority first, asked through the
// system's resolv.conf (dnspython, which Samba brings along).
constexpr char kSrvQuery[] = R"(import sys, dns.resolver
for r in sorted(dns.resolver.resolve(sys.argv[1], "SRV"), key=lambda r: (r.priority, str(r.target))):
    print(r.to_text())
)";

ProcessResult Resolved(const std::vector<std::string>& argv) {
  return RunProcess(DomainDnsCommand(argv), "", NoServerEnv());
}

TEST(DomainDnsIT, TheDomainControllersNameResolvesThroughTheWrapper) {
  ProcessResult r = Resolved({"getent", "hosts", SandboxFact("VARNEL_SANDBOX_DNSHOSTNAME")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find_first_of(" \t")), "127.0.0.1") << r.out;
}

TEST(DomainDnsIT, ATestsRecordsResolveWhileItRunsAndGoAfterwards) {
  const std::string domain = SandboxFact("VARNEL_SANDBOX_DOMAIN");
  const std::string dc = SandboxFact("VARNEL_SANDBOX_DNSHOSTNAME");
  const std::string msdcs = "_msdcs." + domain;
  const std::vector<std::string> dead = {"getent", "hosts", "dead." + domain};
  const std::vector<std::string> dcs = {"/usr/bin/python3", "-c", kSrvQuery,
                                        "_ldap._tcp.dc." + msdcs};
  {
    DnsChanges changes;
    changes.Add(domain, "dead", "A", "127.0.0.2");
    changes.Add(msdcs, "_ldap._tcp.dc", "SRV", "dead." + domain + " 389 0 100");
    changes.Update(msdcs, "_ldap._tcp.dc", "SRV", dc + " 389 0 100", dc + " 389 10 100");

    ProcessResult address = Resolved(dead);
    EXPECT_EQ(address.status, 0) << address.err;
    EXPECT_EQ(address.out.substr(0, address.out.find_first_of(" \t")), "127.0.0.2") << address.out;
    ProcessResult srv = Resolved(dcs);
    EXPECT_EQ(srv.out, "0 100 389 dead." + domain + ".\n10 100 389 " + dc + ".\n") << srv.err;
  }
  ProcessResult gone = Resolved(dead);
  EXPECT_EQ(gone.status, 2) << gone.out;  // getent: not found
  ProcessResult srv = Resolved(dcs);
  EXPECT_EQ(srv.out, "0 100 389 " + dc + ".\n") << srv.err;
}

}  // namespace
}  // namespace varnel::integration
