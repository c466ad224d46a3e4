// The start-up against the sandbox directory: Kerberos bind, RootDSE, mode
// check, DN input and the safety limit, with the real binary.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

TEST(StartupIT, BindsWithKerberosAndReportsServerModeAndCount) {
  std::string ou = FreshOu("startup");
  std::string dn = AddUser(ou, "Start Alice");
  ProcessResult r = RunVarnel({"-upd", "-b", dn});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("Varnel V01.03.00cpp"), 1u) << r.err;
  EXPECT_NE(r.out.find("Using server: " + SandboxFact("VARNEL_SANDBOX_DNSHOSTNAME") + "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Exchange Mode: Native\nDN Count: 1\n"), std::string::npos) << r.out;

  ProcessResult quiet = RunVarnel({"-upd", "-q", "-b", dn});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, "Exchange Mode: Native\n\n\n\nThe command completed successfully.\n\n");
}

TEST(StartupIT, DnsComeBackInTheDirectorysLetterCase) {
  std::string ou = FreshOu("dncase");
  std::string dn = AddUser(ou, "Case Bob");
  std::string lower;
  for (char c : dn) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  std::string missing = "cn=nobody here," + ou;
  ProcessResult r = RunVarnel({"-upd", "-cont"}, lower + "\n" + missing + "\n");
  EXPECT_NE(r.out.find("   DN: " + dn + "...\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("   DN: " + missing + "..."), std::string::npos) << r.out;
}

TEST(StartupIT, ElevenDnsWithoutSafetyTouchNothing) {
  std::string ou = FreshOu("safety");
  std::string input;
  std::vector<std::string> dns;
  for (int i = 0; i < 11; ++i) {
    dns.push_back(AddContact(ou, "Safe " + std::to_string(i),
                             "mail: safe" + std::to_string(i) + "@example.com\n"));
    input += dns.back() + "\n";
  }
  ProcessResult r = RunVarnel({"-clear"}, input);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("DN Count: 11\n\nMore DNs than allowed for by safety setting of 10\n"
                       "Use safety parameter to specify larger safety size.\n\n"
                       "The command did not complete successfully\n"),
            std::string::npos)
      << r.out;
  for (const std::string& dn : dns) EXPECT_NE(ReadValue(dn, "mail"), "") << dn;

  ProcessResult single = RunVarnel({"-clear", "-b", dns[0], "-q"}, input);
  EXPECT_EQ(single.status, 0) << single.err;
  EXPECT_EQ(ReadValue(dns[0], "mail"), "");
  EXPECT_NE(ReadValue(dns[1], "mail"), "");
}

TEST(StartupIT, EmptyInputCountsZero) {
  ProcessResult r = RunVarnel({"-clear"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("DN Count: 0\nClearing Exchange Attributes...\n\n\nThe command completed "
                       "successfully.\n\n"),
            std::string::npos)
      << r.out;
}

TEST(StartupIT, UnreachableServerEndsTheRun) {
  ProcessResult r = RunVarnel({"-clear", "-q", "-h", "127.0.0.1:1"}, "");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(
      r.err,
      "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\nTerminating program.\n");
  EXPECT_EQ(r.out, "");
}

TEST(StartupIT, NoKerberosTicketFailsTheBind) {
  ProcessResult r = RunVarnel({"-clear", "-q"}, "", Account::kNone);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err.rfind("LDAP_BIND: [] Error 0x", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("\nERROR: LDAP_BIND: [] Reason: SASL(-1): "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("run kinit to get one.\nTerminating program.\n"), std::string::npos)
      << r.err;
}

// 127.1 reaches the DC, but no service principal holds that name.
TEST(StartupIT, ServerNameKerberosDoesNotKnowSaysWhyAndWhatToDo) {
  ProcessResult r = RunVarnel({"-clear", "-q", "-h", "127.1"}, "");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err.rfind("LDAP_BIND: [127.1] Error 0x52 (82) - Local error\n"
                        "ERROR: LDAP_BIND: [127.1] Reason: SASL(-1): ",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("(Server not found in Kerberos database)\nERROR: Kerberos does not know "
                       "the server by the name it was reached under (127.1): give -h the "
                       "domain controller's full DNS name"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("kinit"), std::string::npos) << r.err;
}

// The global catalog takes no change: no action, -whatif included, connects.
TEST(StartupIT, GlobalCatalogPortIsRefusedBeforeTheDirectoryIsTouched) {
  const std::string host = SandboxFact("VARNEL_SANDBOX_HOST");
  ProcessResult r = RunVarnel({"-upd", "-whatif", "-d", "-b", TestOu(), "-h", host + ":3268"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ERROR: -h " + host +
                       ":3268 names the global catalog (port 3268), which "
                       "is read-only; use the domain controller's port 389.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Opening TCP connection"), std::string::npos) << r.out;

  // Named by libldap's own settings instead, it is refused all the same.
  auto env = SandboxEnv();
  env["LDAPURI"] = "ldaps://" + host + ":3269";
  r = RunProcess(VarnelCommand({"-upd", "-whatif", "-b", TestOu()}), "", env);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ERROR: the configured URI ldaps://" + host +
                       ":3269 names the global catalog (port 3269), which is read-only; use the "
                       "domain controller's port 636 (ldaps://).\n"),
            std::string::npos)
      << r.err;
}

TEST(StartupIT, NamedServerWithPort) {
  ProcessResult r =
      RunVarnel({"-upd", "-q", "-h", SandboxFact("VARNEL_SANDBOX_HOST") + ":389"}, "");
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace varnel::integration
