// Whole runs, from the arguments to the status, against the in-memory
// directory and the scripted object service.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "cli/run_driver.h"
#include "cli/run_environment.h"
#include "platform/posix_file_system.h"
#include "platform/tick_counter.h"
#include "support/capture.h"
#include "support/fake_file_system.h"
#include "support/fake_ldap_connector.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

using varnel::testing::CapturePrinted;
using varnel::testing::FakeFileSystem;
using varnel::testing::FakeLdapConnection;
using varnel::testing::FakeLdapConnector;

const char kConfig[] = "CN=Configuration,DC=x";
const char kExchange[] = "CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x";
const char kOrg[] = "CN=Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x";
const char kServer[] =
    "CN=SRV1,CN=Servers,CN=Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x";
const char kSg[] =
    "CN=SG1,CN=SRV1,CN=Servers,CN=Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x";
const char kDb[] =
    "CN=DB1,CN=SG1,CN=SRV1,CN=Servers,CN=Org,CN=Microsoft "
    "Exchange,CN=Services,CN=Configuration,DC=x";
const char kDb2[] =
    "CN=DB2,CN=SG1,CN=SRV1,CN=Servers,CN=Org,CN=Microsoft "
    "Exchange,CN=Services,CN=Configuration,DC=x";

class SteppingTicks : public TickCounter {
 public:
  uint32_t Now() const override { return now += 250; }
  mutable uint32_t now = 1000;
};

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++count;
  return count;
}

struct Output {
  int32_t status;
  std::string out;
  std::string err;
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeLdapConnection& d = connector.DefaultDirectory();
    d.AddEntry("", {{"dnsHostName", {"dc1.x"}}, {"configurationNamingContext", {kConfig}}});
    d.AddEntry(kExchange, {});
    d.AddEntry(kOrg, {{"objectCategory", {"msExchOrganizationContainer"}},
                      {"msExchMixedMode", {"FALSE"}}});
    d.AddEntry(kServer, {{"objectCategory", {"msExchExchangeServer"}}, {"name", {"SRV1"}}});
    d.AddEntry(kSg, {{"objectCategory", {"msExchStorageGroup"}}, {"name", {"SG1"}}});
    d.AddEntry(kDb, {{"objectCategory", {"msExchPrivateMDB"}}, {"name", {"DB1"}}});
    for (const char* cn : {"a", "b", "c", "d", "e"})
      d.AddEntry(std::string("CN=") + cn + ",DC=x",
                 {{"objectClass", {"top", "user"}},
                  {"mail", {std::string(cn) + "@x"}},
                  {"legacyExchangeDN", {"/o=Org/cn=" + std::string(cn)}}});
  }

  FakeLdapConnection& directory() { return connector.DefaultDirectory(); }

  Output Run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "varnel");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::istringstream in(input);
    RunEnvironment environment{.connector = connector,
                               .input = in,
                               .guids = guids,
                               .ticks = ticks,
                               .files = files ? *files : SystemFileSystem(),
                               .inputIsTerminal = inputIsTerminal,
                               .inputIsFile = inputIsFile,
                               .inputFile = inputFile};
    environment.pause = [this](uint32_t ms) {
      pauses.push_back(ms);
      ticks.now += ms;
    };
    int32_t status = 0;
    testing::Printed printed = CapturePrinted(
        [&] { status = RunVarnel(static_cast<int>(argv.size()), argv.data(), environment); });
    return {status, std::move(printed.out), std::move(printed.err)};
  }

  // Breaks every open session at the write of `dn`, once, which then never
  // reaches the directory; with `serverGone` no new session can be opened.
  void LoseConnectionAtTheWrite(const std::string& dn, bool serverGone) {
    directory().modifyHook = [this, dn, serverGone, seen = 0](const std::string& to) mutable {
      if (to != dn || ++seen != 1) return 0;
      connector.BreakOpenSessions();
      if (serverGone) connector.openError = 0x51;
      return 0x51;
    };
  }

  // The DB1 mail database on SRV1, as the mailbox rules read it.
  void MakeMailDatabases() {
    using Op = LdapModification::Op;
    directory().Modify(kDb, {{Op::kReplace, "objectClass", {"msExchPrivateMDB"}}});
    directory().Modify(kServer, {{Op::kReplace, "objectClass", {"msExchExchangeServer"}},
                                 {Op::kReplace, "legacyExchangeDN", {"/o=Org/cn=SRV1"}}});
    directory().modifies.clear();
  }

  FakeLdapConnector connector;
  // New mailboxes get GUIDs 01 01 ..., 02 02 ..., in order.
  std::function<bool(std::span<uint8_t>)> guids = [n = 0](std::span<uint8_t> bytes) mutable {
    std::fill(bytes.begin(), bytes.end(), static_cast<uint8_t>(++n));
    return true;
  };
  SteppingTicks ticks;
  std::vector<uint32_t> pauses;
  // Where the run's record files go (the system's when null), and the file
  // its standard input is.
  FakeFileSystem* files = nullptr;
  std::optional<FileIdentity> inputFile;
  bool inputIsTerminal = false;
  bool inputIsFile = false;
};

TEST_F(RunTest, StartupLinesAndEmptyInput) {
  Output r = Run({"-upd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Using server: dc1.x\nExchange Mode: Native\nDN Count: 0\nUpdating Objects...\n\n"
            "\nThe command completed successfully.\n\n");
  Output quiet = Run({"-upd", "-q"});
  EXPECT_EQ(quiet.out, "Exchange Mode: Native\n\n\nThe command completed successfully.\n\n");
}

TEST_F(RunTest, MissingOrganisationIsAFailureNotSuccess) {
  directory().AddEntry(
      "CN=Org2," + std::string(kExchange),
      {{"objectCategory", {"msExchOrganizationContainer"}}, {"msExchMixedMode", {"TRUE"}}});
  Output r = Run({"-clear", "-q"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out,
            "ERROR: Couldn't verify Exchange Native Mode Status. (0|2)\n"
            "\nThe command did not complete successfully\n\n");
  EXPECT_TRUE(directory().modifies.empty());
}

TEST_F(RunTest, FailedModeSearchEndsWithItsCode) {
  directory().searchHook = [](const LdapSearchRequest& request, std::vector<LdapEntry>*, int* rc) {
    if (request.filter != "objectcategory=msExchOrganizationContainer") return false;
    *rc = 50;
    return true;
  };
  Output r = Run({"-upd"});
  EXPECT_EQ(r.status, 50);
  EXPECT_NE(r.err.find("LDAP_SEARCH_S: 0x32\n"), std::string::npos);
  EXPECT_NE(r.out.find("ERROR: Couldn't verify Exchange Native Mode Status. (50|0)\n"),
            std::string::npos);
}

TEST_F(RunTest, RootDseFailureAndBindFailure) {
  directory().searchResult = 0x51;
  Output r = Run({"-upd", "-q"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n"
            "ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n");
  directory().searchResult = 0;
  connector.Directory("dc9:636").bindResult = 49;
  r = Run({"-upd", "-q", "-h", "dc9:636"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "LDAP_BIND: [dc9] Error 0x31 (49) - Invalid credentials\nTerminating program.\n");
  EXPECT_EQ(connector.opens.back().port, 636);

  // A negotiate bind that failed for want of a ticket says what to do.
  connector.Directory("dc9:636").missingTicketCache = "FILE:/tmp/krb5cc_none";
  r = Run({"-upd", "-q", "-h", "dc9:636"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "LDAP_BIND: [dc9] Error 0x31 (49) - Invalid credentials\n"
            "ERROR: No valid Kerberos ticket was found in the credential cache "
            "FILE:/tmp/krb5cc_none; run kinit to get one.\nTerminating program.\n");

  // A server that cannot be reached is not the ticket's fault.
  connector.Directory("dc9:636").bindResult = 0x51;
  r = Run({"-upd", "-q", "-h", "dc9:636"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "LDAP_BIND: [dc9] Error 0x51 (81) - Can't contact LDAP server\nTerminating program.\n");
  // The client's own SASL step failing is how a missing ticket shows.
  connector.Directory("dc9:636").bindResult = 0x52;
  r = Run({"-upd", "-q", "-h", "dc9:636"});
  EXPECT_NE(r.err.find("run kinit to get one.\n"), std::string::npos) << r.err;
}

TEST_F(RunTest, SafetyLimitRefusesBeforeAnythingIsTouched) {
  std::string input;
  for (int i = 0; i < 11; ++i) input += "CN=a,DC=x\n";
  Output r = Run({"-clear"}, input);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("DN Count: 11\n\nMore DNs than allowed for by safety setting of 10\n"),
            std::string::npos);
  EXPECT_TRUE(directory().modifies.empty());
  // Counted before any look-up: no DN of the list was read.
  for (const LdapSearchRequest& search : directory().searches) EXPECT_NE(search.base, "CN=a,DC=x");
  EXPECT_EQ(Run({"-clear", "-upto", "11", "-q"}, input).status, 0);
}

// A list in a file is read at once, and its first objects' reads go out
// before the organisation is: they come back meanwhile.
TEST_F(RunTest, TheFirstReadsOfAFileGoOutBeforeTheOrganisationIsRead) {
  inputIsFile = true;
  Run({"-clear", "-q"}, "CN=a,DC=x\n");
  const std::vector<LdapSearchRequest>& searches = directory().searches;
  const auto first = [&](const auto& match) {
    return std::find_if(searches.begin(), searches.end(), match) - searches.begin();
  };
  EXPECT_LT(first([](const LdapSearchRequest& s) { return s.base == "CN=a,DC=x"; }),
            first([](const LdapSearchRequest& s) {
              return s.filter.find("msExchOrganizationContainer") != std::string::npos;
            }));
}

// The storage group and the database are found from searches sent with the
// server's, not each from the answer before it.
TEST_F(RunTest, TheRunsDatabaseIsFoundBySearchesSentTogether) {
  MakeMailDatabases();
  const Output r = Run({"-move", "SRV1:SG1:DB1", "-d"}, "CN=a,DC=x\n");
  EXPECT_NE(r.out.find(std::string("Home MDB: ") + kDb + "\n"), std::string::npos) << r.out;
  for (const LdapSearchRequest& search : directory().searches) {
    if (search.filter.find("(name=") != std::string::npos) {
      EXPECT_EQ(search.base, kExchange);
    }
  }
}

// The root DSE read with the bind, before it, only guesses where the
// organisation is: a right guess has its searches asked once, and a wrong
// one (another configuration) decides nothing.
TEST_F(RunTest, TheRootDseBeforeTheBindIsAGuessCheckedByTheBoundOne) {
  const auto modeSearches = [this] {
    return std::count_if(directory().searches.begin(), directory().searches.end(),
                         [](const LdapSearchRequest& search) {
                           return search.filter == "objectcategory=msExchOrganizationContainer";
                         });
  };
  directory().answerWithBind = {{LdapEntry{"", {{"configurationNamingContext", {kConfig}}}}}};
  EXPECT_EQ(Run({"-upd", "-hfal", "-q"}, "CN=a,DC=x\n").status, 0);
  EXPECT_EQ(modeSearches(), 1);

  directory().searches.clear();
  directory().answerWithBind = {
      {LdapEntry{"", {{"configurationNamingContext", {"CN=Configuration,DC=elsewhere"}}}}}};
  const Output r = Run({"-upd", "-hfal", "-q"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(modeSearches(), 2);
  EXPECT_EQ(directory().Value("CN=a,DC=x", "msExchHideFromAddressLists"), "TRUE");
}

// A server that refuses a bind while the root DSE's search is out gets the
// bind alone, on a new connection.
TEST_F(RunTest, ABindRefusedWhileTheRootDseIsOutIsMadeAgainAlone) {
  directory().bindWithSearchResult = 53;
  const Output r = Run({"-upd", "-hfal", "-q"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(connector.opens.size(), 2u);
  EXPECT_EQ(directory().Value("CN=a,DC=x", "msExchHideFromAddressLists"), "TRUE");
}

TEST_F(RunTest, RecordFilesMustBeThreeFilesAndNoneTheInput) {
  FakeFileSystem fake;
  files = &fake;
  fake.Put("mix", "");
  fake.Link("mix", "./mix");
  Output r = Run({"-clear", "-q", "-undo", "./mix", "-report", "mix"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: -undo, -report and -failed must name different files.\n");
  EXPECT_TRUE(connector.opens.empty());

  inputFile = fake.Put("rest.txt", "CN=a,DC=x\n").identity;
  r = Run({"-clear", "-q", "-failed", "rest.txt"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ERROR: Cannot use rest.txt as the failed-lines file: the file is also the standard "
            "input\n");
  EXPECT_EQ(fake.Contents("rest.txt"), "CN=a,DC=x\n");
  EXPECT_TRUE(connector.opens.empty());
}

TEST_F(RunTest, ARunRefusedBeforeProcessingKeepsOrWritesItsFilesAsThatEnds) {
  FakeFileSystem fake;
  files = &fake;
  fake.Put("report.json", "{\"earlier\": 1}\n");
  fake.Put("failed.txt", "CN=earlier,DC=x\n");
  const std::vector<std::string> args = {"-clear",      "-q",      "-report",
                                         "report.json", "-failed", "failed.txt"};
  directory().bindResult = 49;
  EXPECT_EQ(Run(args, "CN=a,DC=x\n").status, 255);
  EXPECT_EQ(fake.Contents("report.json"), "{\"earlier\": 1}\n");
  EXPECT_EQ(fake.Contents("failed.txt"), "CN=earlier,DC=x\n");
  directory().bindResult = 0;

  // Refused by the safety limit: every line is left to run again.
  std::string input;
  for (int i = 0; i < 11; ++i)
    input += "CN=" + std::string(1, static_cast<char>('a' + i % 5)) + ",DC=x\n";
  input.insert(0, std::string("CN=\0z\n", 6));
  EXPECT_EQ(Run(args, input).status, 255);
  EXPECT_TRUE(directory().modifies.empty());
  EXPECT_EQ(fake.Contents("failed.txt"), input.substr(6));
  std::istringstream lines(fake.Contents("report.json"));
  std::vector<std::string> outcomes;
  for (std::string line; std::getline(lines, line);)
    outcomes.push_back(nlohmann::json::parse(line)["outcome"]);
  std::vector<std::string> expected(12, "not processed");
  expected[0] = "failed";  // the line that could not be taken
  EXPECT_EQ(outcomes, expected);
}

TEST_F(RunTest, SkippedInputLinesFailTheRun) {
  Output r = Run({"-upd", "-uhfal", "-q"}, std::string("CN=a,DC=x\nCN=\0b,DC=x\n", 20));
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "WARN: Skipped an input line holding a NUL byte.\n");
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
  EXPECT_EQ(directory().Value("CN=a,DC=x", "msExchHideFromAddressLists"), "FALSE");
  // A failed item's own status wins over the skipped line.
  r = Run({"-upd", "-uhfal", "-q", "-cont"}, std::string("CN=zz,DC=x\nCN=\0b,DC=x\n", 21));
  EXPECT_EQ(r.status, 32);
}

// Arguments that are not switches change nothing, but are named; a DN list
// typed at a terminal is announced with how to end it.
TEST_F(RunTest, IgnoredArgumentsAndATypedListAreExplained) {
  Output r = Run({"-upd", "-q", "dns.txt", "-hfal", "two words"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "WARN: Arguments that are not switches are ignored: \"dns.txt\" \"two words\". The "
            "DN list is read from standard input; -f FILE reads it from a file.\n");
  EXPECT_EQ(directory().Value("CN=a,DC=x", "msExchHideFromAddressLists"), "TRUE");
  r = Run({"-upd", "-q", "-b", "CN=a,DC=x", "extra"});
  EXPECT_NE(r.err.find("\"extra\". The run works on the DN of -b only.\n"), std::string::npos)
      << r.err;

  inputIsTerminal = true;
  r = Run({"-upd", "-q"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.err, "Reading the DN list from the terminal: one DN per line, end it with ctrl-D.\n");
  EXPECT_EQ(Run({"-upd", "-q", "-b", "CN=a,DC=x"}).err, "");
}

TEST_F(RunTest, ClearWithUptoStopsAfterTwoSuccesses) {
  Output r =
      Run({"-clear", "-upto", "2"}, "CN=a,DC=x\ncn=b,dc=x\nCN=c,DC=x\nCN=d,DC=x\nCN=e,DC=x\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Clearing Exchange Attributes...\n   DN: CN=a,DC=x...\n   DN: CN=b,DC=x...\n"
                       "WARN: UpTo limit achieved, stopping...\n\nDNs to Process: 5\n"
                       "DNs Processed : 2\nSuccessful    : 2\nErrors        : 0\n"
                       "\nThe command completed successfully.\n\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(directory().Has("CN=b,DC=x", "mail"));
  EXPECT_TRUE(directory().Has("CN=c,DC=x", "mail"));
}

TEST_F(RunTest, FailureWithoutContStopsBeforeTheNextItem) {
  Output r = Run({"-clear"}, "CN=missing,DC=x\nCN=a,DC=x\nCN=b,DC=x\n");
  EXPECT_EQ(r.status, 32);
  EXPECT_NE(
      r.out.find(
          "   DN: CN=missing,DC=x...ERROR: Too many Errors, stopping...\n\nDNs to Process: 3\n"
          "DNs Processed : 1\nSuccessful    : 0\nErrors        : 1\n"
          "\nThe command completed with errors.\n\n"),
      std::string::npos)
      << r.out;
  EXPECT_TRUE(directory().Has("CN=a,DC=x", "mail"));
}

TEST_F(RunTest, ContKeepsGoingAndReportsTheLastError) {
  Output r = Run({"-clear", "-cont", "-elapsedms"}, "CN=a,DC=x\nCN=gone,DC=x\nCN=b,DC=x\n");
  EXPECT_EQ(r.status, 32);
  EXPECT_NE(r.out.find("Successful    : 2\nErrors        : 1\nElapsed MS: "), std::string::npos);
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n\n"), std::string::npos);
  EXPECT_FALSE(directory().Has("CN=b,DC=x", "mail"));
}

TEST_F(RunTest, SingleItemRunHasNoCountsBlock) {
  Output r = Run({"-b", "cn=a,dc=x", "-clear", "-elapsed"}, "CN=b,DC=x\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("DNs to Process"), std::string::npos);
  EXPECT_NE(r.out.find("DN Count: 1\n"), std::string::npos);
  EXPECT_NE(r.out.find("   DN: CN=a,DC=x...\n\nTime Elapsed (sec): "), std::string::npos);
  EXPECT_TRUE(directory().Has("CN=b,DC=x", "mail"));
}

TEST_F(RunTest, MixedModeClearWritesAdcDisabledMail) {
  directory().Modify(kOrg, {{LdapModification::Op::kReplace, "msExchMixedMode", {"TRUE"}}});
  Output r = Run({"-clear", "-q"}, "CN=a,DC=x\n");
  EXPECT_EQ(r.out, "Exchange Mode: Mixed\n\n\n\nThe command completed successfully.\n\n");
  EXPECT_EQ(directory().Value("CN=a,DC=x", "legacyExchangeDN"), "ADCDisabledMail");
  EXPECT_FALSE(directory().Has("CN=a,DC=x", "mail"));
}

TEST_F(RunTest, OverrideDatabasesResolveOncePerTextAndNeverFallBack) {
  using Op = LdapModification::Op;
  MakeMailDatabases();
  directory().AddEntry(kDb2, {{"objectClass", {"msExchPrivateMDB"}},
                              {"objectCategory", {"msExchPrivateMDB"}},
                              {"name", {"DB2"}}});
  // Four mailboxes in DB2, each moved to the database its line names.
  for (const char* cn : {"a", "b", "c", "d"})
    directory().Modify(
        std::string("CN=") + cn + ",DC=x",
        {{Op::kReplace, "objectClass", {"top", "user"}}, {Op::kReplace, "homeMDB", {kDb2}}});
  directory().modifies.clear();
  Output r = Run({"-move", "SRV1:SG1:DB1", "-cont"},
                 "CN=a,DC=x\tsrv1:sg1:db1\nCN=b,DC=x\tSRV1:SG1:DB1\nCN=c,DC=x\tSRV1:SG1:NOPE\n"
                 "CN=d,DC=x\tsrv1:sg1:nope\n");
  size_t resolving = 0;
  for (size_t at = r.out.find("Resolving homeMDB ["); at != std::string::npos;
       at = r.out.find("Resolving homeMDB [", at + 1))
    ++resolving;
  // start-up, srv1:sg1:db1, and each failed one again for its own error line
  EXPECT_EQ(resolving, 4u) << r.out;
  EXPECT_NE(r.out.find("ERROR: AD Search couldn't find DataBase: NOPE\n"), std::string::npos);
  EXPECT_NE(r.out.find("ERROR: AD Search couldn't find DataBase: nope\n"), std::string::npos);
  // An override that names no database fails its item; it never falls back
  // to the run's database.
  ASSERT_EQ(directory().modifies.size(), 2u);
  EXPECT_EQ(directory().Value("CN=a,DC=x", "homeMDB"), kDb);
  EXPECT_EQ(directory().Value("CN=b,DC=x", "homeMDB"), kDb);
  EXPECT_EQ(directory().Value("CN=c,DC=x", "homeMDB"), kDb2);
  EXPECT_EQ(r.status, 32);
  EXPECT_NE(r.out.find("Successful    : 2\nErrors        : 2\n"), std::string::npos) << r.out;
}

TEST_F(RunTest, NoDatabaseKnownFailsEachItemWithMinusOne) {
  MakeMailDatabases();
  directory().AddEntry("CN=Servers,CN=Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x",
                       {{"objectClass", {"msExchAdminGroup"}}, {"legacyExchangeDN", {"/o=Org"}}});
  directory().Modify("CN=b,DC=x", {{LdapModification::Op::kReplace, "objectClass", {"user"}},
                                   {LdapModification::Op::kReplace, "sAMAccountName", {"bee"}}});
  Output r = Run({"-cr", "SRV9:SG1:DB1", "-cont"}, "CN=a,DC=x\nCN=b,DC=x\tSRV1:SG1:DB1\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("   DN: CN=a,DC=x... - No valid homeMDB value.\n"), std::string::npos)
      << r.out << r.err;
  EXPECT_NE(r.out.find("Successful    : 1\nErrors        : 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(directory().Value("CN=b,DC=x", "mailNickname"), "bee");
  EXPECT_EQ(directory().Value("CN=b,DC=x", "homeMTA"), "");  // SRV1 has no MTA
  EXPECT_EQ(directory().Value("CN=b,DC=x", "msExchMailboxGuid"), std::string(16, '\x01'));
}

// Every action costs one read and at most one write per object; every other
// read depends only on the databases the run meets, not on the objects.
TEST_F(RunTest, OneReadAndOneWritePerObjectWhateverTheAction) {
  MakeMailDatabases();
  directory().AddEntry(kDb2, {{"objectClass", {"msExchPrivateMDB"}},
                              {"objectCategory", {"msExchPrivateMDB"}},
                              {"name", {"DB2"}}});
  directory().AddEntry("CN=Servers,CN=Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=x",
                       {{"objectClass", {"msExchAdminGroup"}}, {"legacyExchangeDN", {"/o=Org"}}});
  for (int i = 1; i <= 48; ++i) {  // six fresh objects for each run below
    const std::string n = std::to_string(i);
    directory().AddEntry("CN=n" + n + ",DC=x", {{"objectClass", {"top", "user"}},
                                                {"sAMAccountName", {"n" + n}},
                                                {"showInAddressBook", {"CN=GAL"}}});
    directory().AddEntry(
        "CN=m" + n + ",DC=x",
        {{"objectClass", {"top", "user"}}, {"sAMAccountName", {"m" + n}}, {"homeMDB", {kDb2}}});
  }
  const std::vector<std::pair<std::vector<std::string>, char>> runs = {
      {{"-clear"}, 'n'},
      {{"-upd", "-hfal"}, 'n'},
      {{"-upd", "-quota", "1:2:3", "-uhfal"}, 'n'},
      {{"-upd", "-quota", "::", "-hfal", "-whatif"}, 'n'},
      {{"-me", "x@y.z", "-keepmail"}, 'n'},
      {{"-cr", "SRV1:SG1:DB1", "-hfal"}, 'n'},
      {{"-move", "SRV1:SG1:DB1"}, 'm'},
      {{"-move", kDb, "-window", "1"}, 'm'},
  };
  int fresh = 1;
  for (const auto& [switches, set] : runs) {
    // The reads of anything but the objects, for a run over `count` objects.
    const auto otherReads = [&, set = set](std::vector<std::string> args, int from, int count) {
      std::string input;
      std::vector<std::string> dns;
      for (int i = from; i < from + count; ++i) {
        dns.push_back(std::string("cn=") + set + std::to_string(i) + ",dc=x");
        input += "CN=" + std::string(1, set) + std::to_string(i) + ",DC=x\n";
      }
      directory().searches.clear();
      directory().modifies.clear();
      args.push_back("-cont");
      const Output r = Run(args, input);
      EXPECT_EQ(r.status, 0) << args.front() << r.out << r.err;
      size_t others = 0;
      for (const LdapSearchRequest& search : directory().searches)
        others += std::find(dns.begin(), dns.end(), LowerCase(search.base)) == dns.end();
      for (const std::string& dn : dns) {
        EXPECT_EQ(
            std::count_if(directory().searches.begin(), directory().searches.end(),
                          [&](const LdapSearchRequest& s) { return LowerCase(s.base) == dn; }),
            1)
            << args.front() << " " << dn;
        EXPECT_LE(std::count_if(directory().modifies.begin(), directory().modifies.end(),
                                [&](const auto& m) { return LowerCase(m.dn) == dn; }),
                  1)
            << args.front() << " " << dn;
      }
      return others;
    };
    EXPECT_EQ(otherReads(switches, fresh, 2), otherReads(switches, fresh + 2, 4))
        << switches.front();
    fresh += 6;
  }
}

TEST_F(RunTest, DebugShowsOverrideLinesEvenWhenTheyDoNotApply) {
  Output r = Run({"-upd", "-d", "-b", "CN=a,DC=x"});
  EXPECT_NE(r.out.find("Debug Info:\nAction  : 16\nHome MDB: \nEmail   : \n"), std::string::npos);
  Output piped = Run({"-upd", "-d"}, "CN=a,DC=x\tignored\n");
  EXPECT_NE(
      piped.out.find("DEBUG:  Data: ignored\nDEBUG: OverRide MDB  : \nDEBUG: OverRide email: \n"),
      std::string::npos)
      << piped.out;
}

// A scratch folder for the files a run writes beside its output.
class RunFilesTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    folder =
        std::filesystem::temp_directory_path() / ("varnel-run-files-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder);
    RunTest::TearDown();
  }
  std::string PathOf(const char* name) const { return (folder / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder;
};

// Only recipients are written, a write that changes nothing is not sent, and
// the report says which and why.
TEST_F(RunFilesTest, OnlyRecipientsAndOnlyChangesAreWrittenAndTheReportSaysSo) {
  using Op = LdapModification::Op;
  directory().Modify(kDb, {{Op::kReplace, "objectClass", {"top", "msExchPrivateMDB"}},
                           {Op::kReplace, "legacyExchangeDN", {"/o=Org/cn=DB1"}}});
  directory().modifies.clear();
  const std::string report = PathOf("run.json");
  const std::string input = std::string("CN=a,DC=x\n") + kDb + "\nCN=b,DC=x\n";
  Output first = Run({"-upd", "-quota", "1:2:3", "-cont", "-report", report}, input);
  EXPECT_EQ(first.status, 65);
  EXPECT_NE(first.err.find(" - ERROR: Not a recipient (objectClass msExchPrivateMDB); nothing was "
                           "changed.\n"),
            std::string::npos)
      << first.err;
  EXPECT_EQ(directory().modifies.size(), 2u);
  EXPECT_FALSE(directory().Has(kDb, "mDBStorageQuota"));
  std::vector<nlohmann::json> lines;
  std::istringstream text(Read(report));
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["action"], "upd");
  EXPECT_EQ(lines[0]["changed"], (nlohmann::json{"mDBUseDefaults", "mDBStorageQuota",
                                                 "mDBOverQuotaLimit", "mDBOverHardQuotaLimit"}));
  EXPECT_EQ(lines[1]["outcome"], "failed");
  EXPECT_EQ(lines[1]["status"], 65);

  // The same run again changes nothing and says so; its output is the same.
  directory().modifies.clear();
  Output second = Run({"-upd", "-quota", "1:2:3", "-cont", "-report", report}, input);
  EXPECT_TRUE(directory().modifies.empty());
  EXPECT_EQ(second.out, first.out);
  EXPECT_NE(Read(report).find("\"outcome\":\"unchanged\""), std::string::npos);

  // A preview plans what would be written and nothing for what would not.
  Output preview = Run({"-upd", "-quota", "5:6:7", "-whatif", "-report", report}, "CN=c,DC=x\n");
  EXPECT_NE(Read(report).find("\"outcome\":\"planned\""), std::string::npos);
  Output idle = Run({"-upd", "-quota", "1:2:3", "-whatif"}, "CN=a,DC=x\n");
  EXPECT_EQ(idle.out.find("dn: "), std::string::npos) << idle.out;

  // A refusal carries the server's diagnostic, on standard error too with -v.
  directory().modifyResult = 50;
  directory().diagnostic = "00002098: SecErr: DSID-03150BC1, problem 4003 (INSUFF_ACCESS_RIGHTS)";
  Output refused = Run({"-upd", "-hfal", "-v", "-report", report}, "CN=d,DC=x\n");
  EXPECT_EQ(refused.status, 50);
  EXPECT_NE(
      refused.err.find(": [] Error 0x32 (50) - Insufficient access\nExtended Error: "
                       "(00002098: SecErr: DSID-03150BC1, problem 4003 (INSUFF_ACCESS_RIGHTS))\n"),
      std::string::npos)
      << refused.err;
  EXPECT_NE(Read(report).find("\"diagnostic\":\"00002098: SecErr"), std::string::npos);
  EXPECT_EQ(Run({"-upd", "-hfal"}, "CN=d,DC=x\n").err.find("Extended Error"), std::string::npos);
}

// The object met again is clear already: nothing to write, no record.
TEST_F(RunFilesTest, UndoAddsBackWhatTheRunRemovedOncePerChange) {
  const std::string undo = PathOf("undo.ldif");
  Output r = Run({"-clear", "-cont", "-undo", undo}, "CN=a,DC=x\nCN=A,DC=X\nCN=b,DC=x\n");
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat status {};
  ASSERT_EQ(::stat(undo.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(Read(undo),
            "dn: CN=a,DC=x\nchangetype: modify\nadd: legacyExchangeDN\n"
            "legacyExchangeDN: /o=Org/cn=a\n-\nadd: mail\nmail: a@x\n-\n\n"
            "dn: CN=b,DC=x\nchangetype: modify\nadd: legacyExchangeDN\n"
            "legacyExchangeDN: /o=Org/cn=b\n-\nadd: mail\nmail: b@x\n-\n\n");

  // A file that is not empty is refused before the directory is touched.
  Output refused = Run({"-clear", "-undo", undo}, "CN=c,DC=x\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(undo), std::string::npos);
  EXPECT_TRUE(directory().Has("CN=c,DC=x", "mail"));
}

// -f reads the list (here LDIF) from a file instead of standard input; the
// failed-lines file then holds the records that failed, as LDIF again.
TEST_F(RunFilesTest, DnListFromAFileAndItsFailedRecords) {
  const std::string list = PathOf("dns.ldif");
  std::ofstream(list) << "version: 1\n\ndn: CN=a,DC=x\n\ndn:: Q049bm9uZSxEQz14\n\n";
  const std::string failed = PathOf("rest.ldif");
  inputIsTerminal = true;  // not where the list comes from
  Output r = Run({"-clear", "-q", "-cont", "-f", list, "-failed", failed, "stray"}, "CN=b,DC=x\n");
  EXPECT_EQ(r.status, 32);
  EXPECT_EQ(r.err.find("Reading the DN list from the terminal"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("WARN: Arguments that are not switches are ignored: \"stray\". The DN list "
                       "is read from " +
                       list + ".\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(directory().Value("CN=a,DC=x", "mail"), "");
  EXPECT_EQ(directory().Value("CN=b,DC=x", "mail"), "b@x");  // standard input is not read
  EXPECT_EQ(Read(failed), "dn: CN=none,DC=x\n\n");

  // The list's own file is never a record file: that would empty the work.
  Output same = Run({"-clear", "-f", list, "-failed", list});
  EXPECT_EQ(same.status, 1);
  EXPECT_NE(same.err.find("the file is also the DN list (-f)"), std::string::npos) << same.err;
  EXPECT_NE(Read(list).find("dn: CN=a,DC=x"), std::string::npos);
}

TEST_F(RunFilesTest, ADnListThatCannotBeReadEndsTheRunFirst) {
  for (const std::string& path : {PathOf("missing"), folder.string()}) {
    Output r = Run({"-clear", "-f", path, "-report", PathOf("run.json")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(r.err.find("ERROR")),
              "ERROR: Cannot read the DN list " + path + ": " +
                  (path == folder.string() ? "Is a directory" : "No such file or directory") +
                  "\n");
  }
  EXPECT_TRUE(connector.opens.empty());
  EXPECT_FALSE(std::filesystem::exists(PathOf("run.json")));
  // -f with -b, or without a value, is a bad command line.
  EXPECT_EQ(Run({"-clear", "-b", "CN=a,DC=x", "-f", PathOf("missing")}).status, 1);
  EXPECT_EQ(Run({"-clear", "-f"}).status, 1);
  EXPECT_TRUE(connector.opens.empty());
}

TEST_F(RunTest, OutstandingRequestsChangeNothingThatIsShownOrWritten) {
  const std::string input =
      "CN=a,DC=x\nCN=zz,DC=x\nCN=b,DC=x\ncn=A,dc=x\nCN=c,DC=x\nCN=a,DC=x\nCN=d,DC=x\n";
  auto run = [&](std::vector<std::string> args) {
    connector = FakeLdapConnector();  // the same directory for every run
    SetUp();
    Output r = Run(args, input);
    return std::make_tuple(r.status, r.out, r.err, directory().modifies.size(),
                           directory().maxWritesInFlight, directory().sameObjectInFlight,
                           directory().maxRequestsInFlight);
  };
  const auto one = run({"-upd", "-hfal", "-cont", "-window", "1"});
  const auto many = run({"-upd", "-hfal", "-cont"});
  EXPECT_EQ(std::get<0>(one), 32);
  EXPECT_EQ(std::get<1>(one), std::get<1>(many));
  EXPECT_EQ(std::get<2>(one), std::get<2>(many));
  // a, b, c and d; the second and third items of a find it hidden already.
  EXPECT_EQ(std::get<3>(one), 4u);
  EXPECT_EQ(std::get<3>(many), 4u);
  EXPECT_EQ(std::get<6>(one), 1u);   // one request at a time, look-ups included
  EXPECT_GT(std::get<4>(many), 1u);  // the writes did go out together
  EXPECT_FALSE(std::get<5>(many));   // but never two for one object

  // -upto never lets more out than may succeed.
  const auto upto = run({"-upd", "-hfal", "-cont", "-upto", "3"});
  EXPECT_EQ(std::get<3>(upto), 2u);  // a, b; then cn=A succeeds unchanged
  EXPECT_LE(std::get<4>(upto), 3u);
  EXPECT_NE(std::get<1>(upto).find("WARN: UpTo limit achieved, stopping...\n"), std::string::npos);
}

TEST_F(RunTest, ALostConnectionIsMadeAgainAndTheObjectPlannedAnew) {
  LoseConnectionAtTheWrite("CN=c,DC=x", false);
  Output r = Run({"-clear", "-q", "-window", "1"}, "CN=b,DC=x\nCN=c,DC=x\nCN=d,DC=x\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(connector.opens.size(), 2u);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(Count(r.err, "WARN: The connection to the directory server was lost"), 1u) << r.err;
  ASSERT_EQ(directory().modifies.size(), 3u);  // c's lost request never reached the directory
  EXPECT_EQ(directory().modifies[1].dn, "CN=c,DC=x");
  EXPECT_FALSE(directory().Has("CN=c,DC=x", "mail"));
}

TEST_F(RunFilesTest, AServerThatStaysAwayEndsTheRunWithinTheRetryWindow) {
  const std::string report = PathOf("report.json");
  LoseConnectionAtTheWrite("CN=c,DC=x", true);
  Output r =
      Run({"-clear", "-cont", "-report", report}, "CN=b,DC=x\nCN=c,DC=x\nCN=d,DC=x\nCN=e,DC=x\n");
  EXPECT_EQ(r.status, 0x51) << r.out << r.err;
  EXPECT_EQ(connector.opens.size(), 4u);  // the run's session and three tries
  EXPECT_EQ(pauses, (std::vector<uint32_t>{2000, 6000}));
  EXPECT_EQ(Count(r.err, "ERROR: Lost the connection to the directory server"), 1u) << r.err;
  EXPECT_TRUE(directory().Has("CN=d,DC=x", "mail"));
  std::istringstream lines(Read(report));
  std::vector<std::string> outcomes;
  for (std::string line; std::getline(lines, line);)
    outcomes.push_back(nlohmann::json::parse(line)["outcome"]);
  // c's write went out and its answer never came: it may have changed.
  EXPECT_EQ(outcomes, (std::vector<std::string>{"ok", "unknown", "not processed", "not processed"}))
      << r.out << r.err;
}

}  // namespace
}  // namespace varnel
