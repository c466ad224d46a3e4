// Whole runs over lists of objects: stop rules, summaries, overrides, the
// mixed-mode clear and a pipeline from ldapsearch.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

std::vector<std::string> Contacts(const std::string& ou, int count) {
  std::vector<std::string> dns;
  for (int i = 0; i < count; ++i)
    dns.push_back(AddContact(ou, "Item " + std::to_string(i),
                             "mail: item" + std::to_string(i) + "@example.com\n"));
  return dns;
}

TEST(LoopIT, UptoStopsAfterTwoSuccesses) {
  std::string ou = FreshOu("upto");
  std::vector<std::string> dns = Contacts(ou, 5);
  ProcessResult r = RunVarnel({"-clear", "-upto", "2"}, Lines(dns));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(
      r.out.find("WARN: UpTo limit achieved, stopping...\n\nDNs to Process: 5\nDNs Processed : 2\n"
                 "Successful    : 2\nErrors        : 0\n\nThe command completed successfully.\n\n"),
      std::string::npos)
      << r.out;
  EXPECT_EQ(ReadValue(dns[1], "mail"), "");
  EXPECT_NE(ReadValue(dns[2], "mail"), "");
}

TEST(LoopIT, FailureStopsTheRunUnlessContinuing) {
  std::string ou = FreshOu("stop");
  std::vector<std::string> dns = Contacts(ou, 3);
  std::string missing = "CN=Missing Item," + ou;
  ProcessResult r = RunVarnel({"-clear"}, missing + "\n" + Lines(dns));
  EXPECT_EQ(r.status, 32);
  EXPECT_NE(
      r.out.find("ERROR: Too many Errors, stopping...\n\nDNs to Process: 4\nDNs Processed : 1\n"
                 "Successful    : 0\nErrors        : 1\n\nThe command completed with errors.\n\n"),
      std::string::npos)
      << r.out;
  EXPECT_NE(ReadValue(dns[0], "mail"), "");

  ProcessResult last = RunVarnel({"-clear"}, Lines(dns) + missing + "\n");
  EXPECT_EQ(last.status, 32);
  EXPECT_EQ(last.out.find("Too many Errors"), std::string::npos);
  EXPECT_NE(last.out.find(
                "Successful    : 3\nErrors        : 1\n\nThe command completed with errors.\n\n"),
            std::string::npos)
      << last.out;
}

TEST(LoopIT, ContinueKeepsTheLastError) {
  std::string ou = FreshOu("cont");
  std::vector<std::string> dns = Contacts(ou, 2);
  std::string user = AddUser(ou, "Cont Nobox");
  ProcessResult r = RunVarnel({"-move", "SRV1:SG1:DB1", "-cont", "-q"},
                              "CN=Gone," + ou + "\n" + user + "\n" + dns[0] + "\n");
  EXPECT_EQ(r.status, 254);  // the last failure, 0x80004002, as a component-object code
  EXPECT_NE(r.out.find("Errors        : 3\n\nThe command completed with errors.\n\n"),
            std::string::npos)
      << r.out;
}

TEST(LoopIT, QuietRunsPrintOnlyTheSummaryAndErrors) {
  std::string ou = FreshOu("quiet");
  std::vector<std::string> dns = Contacts(ou, 2);
  ProcessResult r = RunVarnel({"-clear", "-q"}, Lines(dns));
  EXPECT_EQ(r.out,
            "Exchange Mode: Native\n\n\n\nDNs to Process: 2\nDNs Processed : 2\nSuccessful    : 2\n"
            "Errors        : 0\n\nThe command completed successfully.\n\n");
  EXPECT_EQ(r.err, "");
}

TEST(LoopIT, OverridesPerLineWithCaseInsensitiveCache) {
  std::string ou = FreshOu("override");
  std::string a = AddUser(ou, "Over Anna"), b = AddUser(ou, "Over Ben"),
              c = AddUser(ou, "Over Cleo");
  ProcessResult r = RunVarnel({"-cr", "SRV1:SG1:DB1"},
                              a + "\n" + b + "\tSRV2:SG1:DB3\n" + c + "\t\"srv2:sg1:db3\"\n");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(ReadValue(a, "homeMDB").find("CN=DB1,CN=SG1,CN=InformationStore,CN=SRV1"),
            std::string::npos);
  EXPECT_NE(ReadValue(b, "homeMDB").find("CN=DB3,CN=SG1,CN=InformationStore,CN=SRV2"),
            std::string::npos);
  EXPECT_NE(ReadValue(c, "homeMDB").find("CN=DB3,CN=SG1,CN=InformationStore,CN=SRV2"),
            std::string::npos);
  EXPECT_NE(r.out.find("Resolving homeMDB [SRV2:SG1:DB3]"), std::string::npos);
  EXPECT_EQ(r.out.find("Resolving homeMDB [srv2:sg1:db3]"), std::string::npos) << r.out;

  ProcessResult moved =
      RunVarnel({"-move", "SRV1:SG1:DB1", "-q"}, b + "\tSRV1:SG2:DB2\n" + c + "\n");
  ASSERT_EQ(moved.status, 0) << moved.out << moved.err;
  EXPECT_NE(ReadValue(b, "homeMDB").find("CN=DB2,CN=SG2"), std::string::npos);
  EXPECT_NE(ReadValue(c, "homeMDB").find("CN=DB1,CN=SG1,CN=InformationStore,CN=SRV1"),
            std::string::npos);

  std::string x = AddContact(ou, "Over Xena"), y = AddContact(ou, "Over Yuri");
  ProcessResult me =
      RunVarnel({"-me", "default@example.com", "-q"}, x + "\n" + y + "\tyuri@example.org\n");
  ASSERT_EQ(me.status, 0) << me.out << me.err;
  EXPECT_EQ(ReadValue(x, "targetAddress"), "SMTP:default@example.com");
  EXPECT_EQ(ReadValue(y, "targetAddress"), "SMTP:yuri@example.org");
}

class MixedModeIT : public ::testing::Test {
 protected:
  void TearDown() override { RunProcess({"bash", VARNEL_SANDBOX, "mode", "native"}, "", {}); }
};

TEST_F(MixedModeIT, ClearWritesAdcDisabledMail) {
  std::string ou = FreshOu("mixed");
  std::vector<std::string> dns = Contacts(ou, 1);
  ASSERT_EQ(RunProcess({"bash", VARNEL_SANDBOX, "mode", "mixed"}, "", {}).status, 0);
  ProcessResult r = RunVarnel({"-clear", "-b", dns[0]});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Exchange Mode: Mixed\n"), std::string::npos);
  EXPECT_EQ(ReadValue(dns[0], "legacyExchangeDN"), "ADCDisabledMail");
  EXPECT_EQ(ReadValue(dns[0], "mail"), "");
}

// The marker is part of the clear's one request: where the server refuses
// it, the item fails and nothing at all is removed.
TEST_F(MixedModeIT, RefusedMarkerFailsTheItemAndChangesNothing) {
  ASSERT_EQ(RunProcess({"bash", VARNEL_SANDBOX, "mode", "mixed"}, "", {}).status, 0);
  const std::string root = DomainDn();
  const auto before = ReadEntry(root);
  ProcessResult r = RunVarnel({"-clear", "-b", root});
  EXPECT_EQ(r.status, 65) << r.out << r.err;  // objectClassViolation
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadEntry(root), before);
}

// No such object exits 32 in every action, whether the directory or the
// directory object service met it.
TEST(LoopIT, MissingObjectExits32InEveryAction) {
  std::string ou = FreshOu("missing-object");
  const std::string missing = "CN=Nobody Here," + ou;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-clear"},
                                             {"-upd", "-hfal"},
                                             {"-cr", "SRV1:SG1:DB1"},
                                             {"-move", "SRV1:SG1:DB1"},
                                             {"-me", "x@example.com"}}) {
    std::vector<std::string> run = args;
    run.insert(run.end(), {"-q", "-b", missing});
    ProcessResult r = RunVarnel(run);
    EXPECT_EQ(r.status, 32) << args.front() << r.out << r.err;
  }
}

TEST(LoopIT, PipelineFromLdapsearchChangesExactlyTheListedObjects) {
  std::string ou = FreshOu("pipeline");
  std::string in1 = AddUser(ou, "Pipe In1", "description: pick\n");
  std::string in2 = AddUser(ou, "Pipe In2", "description: pick\n");
  std::string out1 = AddUser(ou, "Pipe Out1", "description: other\n");
  std::string command = "ldapsearch -LLL -Q -Y GSSAPI -o ldif-wrap=no -b '" + ou +
                        "' '(description=pick)' 1.1 | sed -n 's/^dn: //p' | " VARNEL_BINARY
                        " -upd -quota 10:20:30 -q";
  ProcessResult r = RunProcess({"bash", "-o", "pipefail", "-c", command}, "", SandboxEnv());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("DNs to Process: 2\nDNs Processed : 2\nSuccessful    : 2\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(ReadValue(in1, "mDBStorageQuota"), "10240");
  EXPECT_EQ(ReadValue(in2, "mDBOverHardQuotaLimit"), "30720");
  EXPECT_EQ(ReadValue(out1, "mDBStorageQuota"), "");
}

}  // namespace
}  // namespace varnel::integration
