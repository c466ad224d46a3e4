// Runs that meet a fault: the domain controller going away in the middle of a
// list, a server that never answers, and an account that may read but not
// write. Each run must end cleanly and in bounded time, say what failed, and
// leave every object either fully changed or untouched.
//
// The controller is stopped (or restarted) at a known point of the run (one
// request at a time, -window 1, so that the point is known):
// varnel's progress lines are watched as they come, and when the progress
// line of a chosen item appears varnel is paused (SIGSTOP). Everything it
// printed up to that moment is then read, the controller is stopped, and
// varnel is resumed. The items whose progress line had not appeared cannot
// have reached the directory yet. A controller that stays away ends the run
// after a few tries to connect again: the item that met the loss fails, the
// rest are not processed, and the status is the loss's (81). A controller
// that comes back is connected to again and the run finishes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

constexpr int kObjects = 30;
constexpr size_t kStopAtItem = 8;  // the progress line that triggers the stop

// Error lines of failed items: the LDAP error line of a refused modify and
// the first line of a failed search.
size_t LdapErrorLines(const std::string& err) {
  static const std::regex line(
      R"((^|\n)(: \[\] Error 0x[0-9a-f]+ \(\d+\) - |LDAP_SEARCH_S: 0x[0-9a-f]+\n))");
  return static_cast<size_t>(
      std::distance(std::sregex_iterator(err.begin(), err.end(), line), std::sregex_iterator()));
}

struct InterruptedRun {
  ProcessResult result;
  size_t shownAtStop = 0;  // progress lines printed before the controller stopped
  bool stopped = false;
};

// Restarts the domain controller after each test, also when the test failed
// half-way, so that the rest of the suite finds it running.
class FaultIT : public ::testing::Test {
 protected:
  void TearDown() override {
    if (controllerDown_) {
      EXPECT_TRUE(StartDomainController());
    }
  }

  bool RestartController() {
    controllerDown_ = !StartDomainController();
    return !controllerDown_;
  }

  // Runs varnel over dns and stops the controller when the progress line of
  // item kStopAtItem (1-based) has appeared; see the top of this file.
  InterruptedRun RunAndStopController(const std::vector<std::string>& args,
                                      const std::vector<std::string>& dns) {
    InterruptedRun run;
    std::unique_ptr<LiveProcess> varnel = StartVarnel(args);
    varnel->Write(Lines(dns));
    varnel->CloseInput();
    EXPECT_TRUE(varnel->WaitForOutput("   DN: ", kStopAtItem, seconds(120))) << varnel->Output();
    bool paused = varnel->Pause();
    EXPECT_TRUE(paused) << "varnel ended before the controller could be stopped";
    run.shownAtStop = Count(varnel->Output(), "   DN: ");
    controllerDown_ = true;
    run.stopped = StopDomainController();
    EXPECT_TRUE(run.stopped);
    varnel->Resume();
    run.result = varnel->Finish(seconds(120));
    return run;
  }

  bool controllerDown_ = false;
};

// The quota attributes an update with -quota 10:20:30 writes.
const std::map<std::string, std::string> kQuotaWritten = {
    {"mdbusedefaults", "FALSE"},
    {"mdbstoragequota", "10240"},
    {"mdboverquotalimit", "20480"},
    {"mdboverhardquotalimit", "30720"},
};

// The counts of a run that lost the controller for good: the items before
// the loss succeeded; the items whose changes were on their way failed (they
// may have landed); the rest were not processed. Checks the summary and the
// one stop line.
struct LossCounts {
  long successful = 0;
  long errors = 0;
};
LossCounts CheckStoppedByLoss(const ProcessResult& r, size_t shownAtStop) {
  LossCounts counts;
  EXPECT_EQ(r.status, 0x51) << r.out << r.err;  // server down
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_LT(r.elapsed, seconds(60));
  counts.successful = SummaryNumber(r.out, "Successful    : ");
  counts.errors = SummaryNumber(r.out, "Errors        : ");
  EXPECT_GE(counts.successful, static_cast<long>(shownAtStop)) << r.out;
  EXPECT_NE(
      r.out.find("DNs Processed : " + std::to_string(counts.successful + counts.errors) + "\n"),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n\n"), std::string::npos) << r.out;
  EXPECT_EQ(Count(r.err,
                  "ERROR: Lost the connection to the directory server and could not connect "
                  "again; stopping.\n"),
            1u)
      << r.err;
  EXPECT_EQ(Count(r.out, "   DN: "), static_cast<size_t>(counts.successful + counts.errors));
  return counts;
}

TEST_F(FaultIT, ControllerStoppedMidRunWithContinue) {
  std::string ou = FreshOu("fault-cont");
  std::vector<std::string> dns;
  for (int i = 0; i < kObjects; ++i) dns.push_back(AddUser(ou, "Fault Cont " + std::to_string(i)));

  InterruptedRun run = RunAndStopController(
      {"-upd", "-quota", "10:20:30", "-cont", "-safety", "100", "-window", "1"}, dns);
  ASSERT_TRUE(run.stopped);
  const LossCounts counts = CheckStoppedByLoss(run.result, run.shownAtStop);

  // After a restart each object holds all four values or none: the
  // successful ones all, those never sent none.
  ASSERT_TRUE(RestartController());
  for (int i = 0; i < kObjects; ++i) {
    auto entry = ReadEntry(dns[i]);
    ASSERT_FALSE(entry.empty()) << dns[i];
    size_t held = 0;
    for (const auto& [name, value] : kQuotaWritten) {
      if (entry.count(name) == 0) continue;
      EXPECT_EQ(entry[name], std::vector<std::string>{value}) << dns[i] << " " << name;
      ++held;
    }
    if (i < counts.successful) {
      EXPECT_EQ(held, kQuotaWritten.size()) << dns[i];
    } else if (i < counts.successful + counts.errors) {
      EXPECT_TRUE(held == 0 || held == kQuotaWritten.size()) << dns[i];
    } else {
      EXPECT_EQ(held, 0u) << dns[i];
    }
  }
}

TEST_F(FaultIT, ControllerRestartedMidRunIsConnectedToAgain) {
  constexpr int kMany = 100;
  std::string ou = FreshOu("fault-restart");
  std::vector<std::string> dns;
  for (int i = 0; i < kMany; ++i) dns.push_back(AddUser(ou, "Restart " + std::to_string(i)));

  std::unique_ptr<LiveProcess> varnel =
      StartVarnel({"-upd", "-quota", "10:20:30", "-cont", "-safety", "100"});
  varnel->Write(Lines(dns));
  varnel->CloseInput();
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", kStopAtItem, seconds(120))) << varnel->Output();
  ASSERT_TRUE(varnel->Pause());
  controllerDown_ = true;
  ASSERT_TRUE(StopDomainController());
  ASSERT_TRUE(RestartController());
  varnel->Resume();
  ProcessResult r = varnel->Finish(seconds(120));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("DNs Processed : 100\nSuccessful    : 100\nErrors        : 0\n"),
            std::string::npos)
      << r.out;
  for (const std::string& dn : dns) {
    auto entry = ReadEntry(dn);
    for (const auto& [name, value] : kQuotaWritten)
      ASSERT_EQ(entry[name], std::vector<std::string>{value}) << dn << " " << name;
  }
}

TEST_F(FaultIT, ControllerStoppedMidRunStopsAtTheFirstFailure) {
  std::string ou = FreshOu("fault-stop");
  const std::string exchange =
      "mail: x@example.com\nmailNickname: x\ntargetAddress: SMTP:x@example.org\n"
      "legacyExchangeDN: /o=Varnel Org/cn=x\nproxyAddresses: SMTP:x@example.com\n"
      "msExchHideFromAddressLists: TRUE\n";
  std::vector<std::string> dns;
  for (int i = 0; i < kObjects; ++i)
    dns.push_back(AddContact(ou, "Fault Stop " + std::to_string(i), exchange));
  std::vector<std::map<std::string, std::vector<std::string>>> before;
  for (const std::string& dn : dns) before.push_back(ReadEntry(dn));

  InterruptedRun run = RunAndStopController({"-clear", "-safety", "100", "-window", "1"}, dns);
  ASSERT_TRUE(run.stopped);
  const LossCounts counts = CheckStoppedByLoss(run.result, run.shownAtStop);
  // One change at a time without -cont: at most the one on its way failed,
  // with its error line.
  EXPECT_LE(counts.errors, 1);
  EXPECT_EQ(LdapErrorLines(run.result.err), static_cast<size_t>(counts.errors)) << run.result.err;

  ASSERT_TRUE(RestartController());
  for (int i = 0; i < kObjects; ++i) {
    auto entry = ReadEntry(dns[i]);
    size_t left = 0;
    for (const char* name : {"mail", "mailnickname", "targetaddress", "legacyexchangedn",
                             "proxyaddresses", "msexchhidefromaddresslists"})
      left += entry.count(name);
    if (i < counts.successful) {
      EXPECT_EQ(left, 0u) << dns[i];
    } else if (i < counts.successful + counts.errors) {
      EXPECT_TRUE(left == 0 || entry == before[i]) << dns[i];
    } else {
      EXPECT_EQ(entry, before[i]) << dns[i];
    }
  }
}

// The mailbox attributes a creation writes in its one save.
const std::vector<std::string> kMailboxAttributes = {
    "homemdb",          "homemta",           "msexchhomeservername", "mailnickname",
    "legacyexchangedn", "msexchmailboxguid", "mdbusedefaults"};

TEST_F(FaultIT, ControllerStoppedMidMailboxCreationWithContinue) {
  std::string ou = FreshOu("fault-create");
  std::vector<std::string> dns;
  for (int i = 0; i < kObjects; ++i)
    dns.push_back(AddUser(ou, "Fault Create " + std::to_string(i)));

  InterruptedRun run =
      RunAndStopController({"-cr", "SRV1:SG1:DB1", "-cont", "-safety", "100", "-window", "1"}, dns);
  ASSERT_TRUE(run.stopped);
  const LossCounts counts = CheckStoppedByLoss(run.result, run.shownAtStop);

  ASSERT_TRUE(RestartController());
  for (int i = 0; i < kObjects; ++i) {
    auto entry = ReadEntry(dns[i]);
    size_t held = 0;
    for (const std::string& name : kMailboxAttributes) held += entry.count(name);
    if (i < counts.successful) {
      EXPECT_EQ(held, kMailboxAttributes.size()) << dns[i];
    } else if (i < counts.successful + counts.errors) {
      EXPECT_TRUE(held == 0 || held == kMailboxAttributes.size()) << dns[i];
    } else {
      EXPECT_EQ(held, 0u) << dns[i];
    }
  }
}

// Every action as the ordinary user, who may read but not write: a clean
// refusal (an error line, a failure status, no signal) and not one value
// changed.
TEST_F(FaultIT, OrdinaryUserIsRefusedEveryActionAndNothingChanges) {
  std::string ou = FreshOu("fault-user");
  std::string plain = AddUser(ou, "Refused Plain");
  std::string contact = AddContact(ou, "Refused Contact",
                                   "mail: rc@example.com\nmailNickname: rc\n"
                                   "targetAddress: SMTP:rc@example.org\n");
  std::string shown = AddUser(ou, "Refused Shown",
                              "showInAddressBook: " + SandboxFact("VARNEL_SANDBOX_GAL") + "\n");
  std::string mailbox = AddUser(ou, "Refused Mailbox");
  ASSERT_EQ(RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", mailbox, "-q"}).status, 0);
  std::string bare = AddContact(ou, "Refused Bare");

  struct Case {
    std::vector<std::string> args;
    std::string dn;
    std::string errorLine;
  };
  const std::vector<Case> cases = {
      {{"-clear"}, contact, ": [] Error 0x32 (50) - Insufficient access\n"},
      {{"-upd", "-hfal"}, shown, ": [] Error 0x32 (50) - Insufficient access\n"},
      {{"-upd", "-quota", "10:20:30"}, mailbox, ": [] Error 0x32 (50) - Insufficient access\n"},
      {{"-upd", "-quota", "::500"}, mailbox, ": [] Error 0x32 (50) - Insufficient access\n"},
      {{"-cr", "SRV1:SG1:DB1"}, plain, " - ERROR: (SetInfo) (0x80070005) Access is denied.\n"},
      {{"-cr", "SRV1:SG1:DB1", "-quota", "10:20:30", "-hfal"},
       plain,
       " - ERROR: (SetInfo) (0x80070005) Access is denied.\n"},
      {{"-move", "SRV2:SG1:DB1"}, mailbox, " - ERROR: (SetInfo) (0x80070005) Access is denied.\n"},
      {{"-me", "someone@example.com"},
       bare,
       " - ERROR: (SetInfo) (0x80070005) Access is denied.\n"},
      {{"-me"},
       AddGroup(ou, "Refused Group"),
       " - ERROR: (SetInfo) (0x80070005) Access is denied.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.dn);
    auto before = ReadEntry(c.dn);
    ASSERT_FALSE(before.empty());
    std::vector<std::string> args = c.args;
    args.push_back("-b");
    args.push_back(c.dn);
    ProcessResult r = RunVarnel(args, "", Account::kUser);
    EXPECT_EQ(r.status, 50);  // access denied, whichever way the action met it
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_NE(r.err.find(c.errorLine), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\nThe command completed with errors.\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadEntry(c.dn), before);
  }

  // A list run stops at the first refusal and touches nothing after it.
  auto contactBefore = ReadEntry(contact);
  auto shownBefore = ReadEntry(shown);
  ProcessResult list = RunVarnel({"-clear"}, contact + "\n" + shown + "\n", Account::kUser);
  EXPECT_EQ(list.status, 50);
  EXPECT_NE(list.out.find("ERROR: Too many Errors, stopping...\n\nDNs to Process: 2\n"
                          "DNs Processed : 1\nSuccessful    : 0\nErrors        : 1\n"),
            std::string::npos)
      << list.out;
  EXPECT_EQ(ReadEntry(contact), contactBefore);
  EXPECT_EQ(ReadEntry(shown), shownBefore);
}

TEST(FaultHangIT, AServerThatNeverAnswersEndsTheRunInBoundedTime) {
  SilentListener server;
  RunOptions options;
  options.timeout = seconds(150);
  ProcessResult r =
      RunVarnel({"-clear", "-h", "127.0.0.1:" + std::to_string(server.port()), "-b", TestOu()}, "",
                Account::kAdmin, options);
  EXPECT_FALSE(r.timedOut) << "still waiting after " << r.elapsed.count() << " ms";
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(
      r.err.find("LDAP_BIND: [127.0.0.1] Error 0x55 (85) - Timed out\nTerminating program.\n"),
      std::string::npos)
      << r.err;
  EXPECT_LT(r.elapsed, seconds(100));
}

}  // namespace
}  // namespace varnel::integration
