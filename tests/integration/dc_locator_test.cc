// With no server named, a run finds its domain controller through the
// sandbox's DNS: the records Samba registers, a first target that is dead,
// and no records at all.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

class DcLocatorIT : public ::testing::Test {
 protected:
  void SetUp() override { contact_ = AddContact(FreshOu("dc-locator"), "Located Contact"); }

  bool Says(const ProcessResult& r, const std::string& line) const {
    return r.out.find("DEBUG: DC locator: " + line + "\n") != std::string::npos;
  }

  const std::string domain_ = SandboxFact("VARNEL_SANDBOX_DOMAIN");
  const std::string dc_ = SandboxFact("VARNEL_SANDBOX_DNSHOSTNAME");
  const std::string msdcs_ = "_msdcs." + domain_;
  std::string contact_;
};

TEST_F(DcLocatorIT, TheDomainControllerIsFoundThroughDnsAndBoundByItsName) {
  ProcessResult r = RunVarnelWithoutServer({"-me", "located@example.com", "-d", "-b", contact_});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Says(r, "looking up SRV _ldap._tcp.dc." + msdcs_)) << r.out;
  EXPECT_TRUE(Says(r, dc_ + ":389: kept (writable DC, site Default-First-Site-Name)")) << r.out;
  EXPECT_NE(r.out.find("Using server: " + dc_ + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(contact_, "targetAddress"), "SMTP:located@example.com");
}

TEST_F(DcLocatorIT, ADeadFirstTargetIsPassedOverForTheNext) {
  DnsChanges dns;
  dns.Add(domain_, "dead", "A", "127.0.0.2");  // nothing listens there
  dns.Add(msdcs_, "_ldap._tcp.dc", "SRV", "dead." + domain_ + " 389 0 100");
  dns.Update(msdcs_, "_ldap._tcp.dc", "SRV", dc_ + " 389 0 100", dc_ + " 389 10 100");
  ProcessResult r = RunVarnelWithoutServer({"-me", "next@example.com", "-d", "-b", contact_});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Says(r, "dead." + domain_ + ":389: passed over (Can't contact LDAP server)"))
      << r.out;
  EXPECT_TRUE(Says(r, dc_ + ":389: kept (writable DC, site Default-First-Site-Name)")) << r.out;
  EXPECT_EQ(ReadValue(contact_, "targetAddress"), "SMTP:next@example.com");
}

TEST_F(DcLocatorIT, NoRecordsEndTheRunWithOneLineThatSaysWhatToDo) {
  DnsChanges dns;
  dns.Delete(msdcs_, "_ldap._tcp.dc", "SRV", dc_ + " 389 0 100");
  ProcessResult r = RunVarnelWithoutServer({"-me", "none@example.com", "-q", "-b", contact_});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "ERROR: No domain controller found for " + domain_ +
                ": DNS has no SRV records _ldap._tcp.dc." + msdcs_ +
                ". Name one with -h, or with URI in ldap.conf; the domain is the realm of the "
                "Kerberos ticket (klist, kinit).\nTerminating program.\n");
  EXPECT_EQ(ReadValue(contact_, "targetAddress"), "");
}

}  // namespace
}  // namespace varnel::integration
