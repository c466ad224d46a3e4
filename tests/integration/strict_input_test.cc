// Input is honoured exactly or refused: per-line databases that do not
// resolve, DNs with escaped quotes, DN lists as Windows tools write them, a
// bind without a Kerberos ticket, and the GNU-style help and version.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

TEST(StrictInputIT, UnresolvableOverrideFailsOnlyItsItem) {
  std::string ou = FreshOu("strict-override");
  std::string a = AddUser(ou, "Override A");
  std::string b = AddUser(ou, "Override B");
  std::string c = AddUser(ou, "Override C");
  const std::string usn = ReadValue(b, "uSNChanged");
  ProcessResult r = RunVarnel({"-cr", "SRV1:SG1:DB1", "-cont", "-q"},
                              a + "\n" + b + "\tSRV1:SG1:NOPE\n" + c + "\n");
  EXPECT_EQ(r.status, 32) << r.out << r.err;
  EXPECT_NE(r.out.find("ERROR: AD Search couldn't find DataBase: NOPE\n"), std::string::npos);
  EXPECT_EQ(SummaryNumber(r.out, "Successful    : "), 2);
  EXPECT_EQ(SummaryNumber(r.out, "Errors        : "), 1);
  EXPECT_NE(ReadValue(a, "homeMDB"), "");
  EXPECT_NE(ReadValue(c, "homeMDB"), "");
  EXPECT_EQ(ReadValue(b, "homeMDB"), "");
  EXPECT_EQ(ReadValue(b, "uSNChanged"), usn);
}

TEST(StrictInputIT, EscapedQuotesNameTheirOwnObject) {
  std::string ou = FreshOu("strict-quotes");
  // Two objects whose names differ only in what quote removal used to do.
  std::string quoted = AddContact(ou, R"(Dup\"\")", "mail: quoted@example.com\n");
  std::string slashes = AddContact(ou, R"(Dup\\)", "mail: slashes@example.com\n");
  ProcessResult r = RunVarnel({"-clear", "-q"}, "\"" + quoted + "\"\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadValue(quoted, "mail"), "");
  EXPECT_EQ(ReadValue(slashes, "mail"), "slashes@example.com");
}

TEST(StrictInputIT, WindowsDnListsAreReadWhole) {
  std::string ou = FreshOu("strict-bom");
  const std::vector<std::string> names = {"Bom A", "Bom B", "Bom C"};
  auto contacts = [&](const std::string& tag) {
    std::vector<std::string> dns;
    for (const std::string& name : names)
      dns.push_back(AddContact(ou, name + " " + tag, "mail: x@example.com\n"));
    return dns;
  };
  // Notepad: UTF-8 with a byte-order mark and CR LF.
  std::vector<std::string> utf8 = contacts("8");
  std::string notepad = "\xEF\xBB\xBF";
  for (const std::string& dn : utf8) notepad += dn + "\r\n";
  ProcessResult r = RunVarnel({"-clear", "-q"}, notepad);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const std::string& dn : utf8) EXPECT_EQ(ReadValue(dn, "mail"), "") << dn;

  // PowerShell's ">": UTF-16 LE with a byte-order mark and CR LF.
  std::vector<std::string> utf16 = contacts("16");
  std::string shell = "\xFF\xFE";
  for (const std::string& dn : utf16) {
    for (char ch : dn + "\r\n") shell += std::string{ch, '\0'};
  }
  r = RunVarnel({"-clear"}, shell);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("DN Count: 3\n"), std::string::npos) << r.out;
  for (const std::string& dn : utf16) EXPECT_EQ(ReadValue(dn, "mail"), "") << dn;
}

TEST(StrictInputIT, NoTicketSaysToRunKinit) {
  std::map<std::string, std::string> env = SandboxEnv();
  env["KRB5CCNAME"] = "FILE:/nonexistent/varnel-no-ticket";
  ProcessResult r = RunProcess(VarnelCommand({"-upd", "-b", TestOu()}), "", env);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("ERROR: No valid Kerberos ticket was found in the credential cache "
                       "FILE:/nonexistent/varnel-no-ticket; run kinit to get one.\n"),
            std::string::npos)
      << r.err;

  // No ticket either, but no server to refuse it: the ticket is not named.
  r = RunProcess(VarnelCommand({"-upd", "-b", TestOu(), "-h", "127.0.0.1:1"}), "", env);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err.find("kinit"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\n"),
            std::string::npos)
      << r.err;
}

// A script's empty variable after -b is a bad command line, not a run over
// nothing that reports success.
TEST(StrictInputIT, EmptyBaseDnIsABadCommandLine) {
  for (const char* dn : {"", "  ", "\"\""}) {
    ProcessResult r = RunVarnel({"-clear", "-b", dn});
    EXPECT_EQ(r.status, 1) << "[" << dn << "]";
    EXPECT_NE(r.err.find("ERROR: Bad value for -b: no DN given\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("DN Count"), std::string::npos) << r.out;
  }
}

// --help names every switch varnel takes and the pipeline that keeps every
// DN: ldapsearch's LDIF straight in.
TEST(StrictInputIT, HelpListsEverySwitchAndTheLdifPipeline) {
  const std::string help = RunVarnel({"--help"}).out;
  for (const char* name : {" -q ", " -d ", " -v ", " -elapsedms ", " -qb ", " -whatif "})
    EXPECT_NE(help.find(name), std::string::npos) << name;
  EXPECT_EQ(help.find("| sed"), std::string::npos);
  EXPECT_NE(help.find("1.1 | varnel "), std::string::npos);
}

TEST(StrictInputIT, GnuHelpAndVersion) {
  ProcessResult help = RunVarnel({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage:\n varnel [switches]\n", 0), 0u) << help.out.substr(0, 200);
  EXPECT_EQ(help.err, "");
  ProcessResult version = RunVarnel({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "varnel V01.03.00cpp\n");
  // The usage asked for the old way still goes to standard error with 1.
  ProcessResult old = RunVarnel({"/?"});
  EXPECT_EQ(old.status, 1);
  EXPECT_EQ(old.out, "");
  EXPECT_NE(old.err.find("Usage:\n varnel [switches]\n"), std::string::npos);
}

}  // namespace
}  // namespace varnel::integration
