// How a run ends: its status is the last failure in input order at any
// window; SIGINT and SIGTERM end it cleanly, with the summary and every item
// accounted for in the report and the failed file, and a second signal ends
// it at once; a controller restarted under a mailbox creation leaves every
// object with one mailbox.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "integration/sandbox_harness.h"
#include "text/string_helpers.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;
using Entries = std::map<std::string, std::map<std::string, std::string>>;

// Adds count users to ou in one ldapmodify; returns their DNs.
std::vector<std::string> AddUsers(const std::string& ou, const std::string& prefix, int count) {
  std::vector<std::string> dns;
  std::string account;
  for (char c : prefix)
    if (std::isalnum(static_cast<unsigned char>(c))) account.push_back(c);
  account = LowerCase(account).substr(0, 8) + std::to_string(getpid() % 10000) + "x";
  std::string ldif;
  for (int i = 0; i < count; ++i) {
    dns.push_back("CN=" + prefix + " " + std::to_string(i) + "," + ou);
    ldif += "dn: " + dns.back() +
            "\nchangetype: add\nobjectClass: user\nsAMAccountName: " + account + std::to_string(i) +
            "\n\n";
  }
  if (ApplyLdif(ldif) != 0) throw std::runtime_error("cannot add the users of " + ou);
  return dns;
}

// One attribute of every object right below ou, in one search: lower-cased
// DN to lower-cased attribute name to its first value.
Entries ReadChildren(const std::string& ou, const std::vector<std::string>& attributes) {
  std::vector<std::string> argv = {
      "ldapsearch",   "-Q", "-Y",  "GSSAPI", "-H", SandboxEnv().at("LDAPURI"), "-LLL", "-o",
      "ldif-wrap=no", "-s", "one", "-b",     ou,   "(objectClass=user)"};
  argv.insert(argv.end(), attributes.begin(), attributes.end());
  ProcessResult r = RunProcess(argv, "", SandboxEnv());
  if (r.status != 0) throw std::runtime_error("cannot search " + ou + ": " + r.err);
  Entries entries;
  std::istringstream lines(r.out);
  std::string dn;
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string name = LowerCase(line.substr(0, colon));
    if (name == "dn") {
      dn = LowerCase(line.substr(colon + 2));
      entries[dn];
    } else {
      entries[dn].emplace(name, line.substr(colon + 2));
    }
  }
  return entries;
}

std::vector<nlohmann::json> ReportLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(RunEndIT, StatusIsTheLastFailureInInputOrderAtAnyWindow) {
  const std::string ou = FreshOu("end-status");
  const std::string container = FreshOu("end-status-box");
  const std::string missing = "CN=End Missing," + ou;
  const std::string group = AddGroup(ou, "End Group");
  struct Order {
    std::vector<std::string> dns;
    int status;
  };
  const std::vector<Order> orders = {
      {{container, missing, group}, 32},  // the missing object fails last
      {{missing, container, group}, 65},  // the container (not a recipient) fails last
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.dns.front());
    ProcessResult one = RunVarnel({"-upd", "-hfal", "-cont", "-window", "1"}, Lines(order.dns));
    ProcessResult many = RunVarnel({"-upd", "-hfal", "-cont", "-window", "32"}, Lines(order.dns));
    EXPECT_EQ(one.status, order.status) << one.out << one.err;
    EXPECT_EQ(many.status, order.status) << many.out << many.err;
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(SummaryNumber(one.out, "Successful    : "), 1) << one.out;
    EXPECT_EQ(SummaryNumber(one.out, "Errors        : "), 2) << one.out;
  }
  EXPECT_EQ(ReadValue(group, "msExchHideFromAddressLists"), "TRUE");
  EXPECT_EQ(ReadValue(container, "msExchHideFromAddressLists"), "");
}

// A run of many users through a link that adds 10 ms each way, so that a
// signal finds it mid-way. `kMidWay`: a window that leaves items unsent, and
// writes on their way, for some round trips, under valgrind too (the found
// window starts larger than these lists).
const std::vector<std::string> kMidWay = {"-window", "64"};

struct RelayedRun {
  RelayedRun()
      : relay({"python3", VARNEL_DELAY_RELAY, "127.0.0.1", "389", "10"}, {}),
        report(ScratchPath("end.jsonl")),
        failed(ScratchPath("end.failed")) {}
  ~RelayedRun() {
    unlink(report.c_str());
    unlink(failed.c_str());
  }
  std::unique_ptr<LiveProcess> Start(const std::vector<std::string>& dns,
                                     const std::vector<std::string>& more = {}) {
    if (!relay.WaitForOutput("\n", 1, seconds(20))) throw std::runtime_error("relay: no port");
    const std::string port = relay.Output().substr(0, relay.Output().find('\n'));
    std::vector<std::string> args = {"-h",    "localhost:" + port, "-upd",    "-quota", "10:20:30",
                                     "-cont", "-unsafe",           "-report", report,   "-failed",
                                     failed};
    args.insert(args.end(), more.begin(), more.end());
    std::unique_ptr<LiveProcess> varnel = StartVarnel(args);
    varnel->Write(Lines(dns));
    varnel->CloseInput();
    return varnel;
  }
  // Once four items are shown, the link goes silent while varnel is held.
  bool SilenceUnderWay(LiveProcess& varnel) {
    if (!varnel.WaitForOutput("   DN: ", 4, seconds(120)) || !varnel.Pause()) return false;
    const bool silenced = kill(relay.pid(), SIGUSR1) == 0;
    varnel.Resume();
    return silenced;
  }
  LiveProcess relay;
  const std::string report;
  const std::string failed;
};

void CheckStoppedBySignal(int signal, const std::string& name) {
  const std::string ou = FreshOu("end-" + name);
  const std::vector<std::string> dns = AddUsers(ou, "End " + name, 200);
  RelayedRun run;
  std::unique_ptr<LiveProcess> varnel = run.Start(dns, kMidWay);
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", 10, seconds(120))) << varnel->Output();
  ASSERT_EQ(kill(varnel->pid(), signal), 0);
  ProcessResult r = varnel->Finish(seconds(60));

  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.status, 128 + signal) << r.out << r.err;
  EXPECT_NE(r.out.find("\nDNs to Process: 200\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("ERROR: Stopped by signal " + std::to_string(signal) + ";"),
            std::string::npos)
      << r.err;

  const std::vector<nlohmann::json> lines = ReportLines(ReadFileBytes(run.report));
  ASSERT_EQ(lines.size(), dns.size());
  std::string notOk;
  size_t ok = 0, notProcessed = 0;
  for (size_t i = 0; i < dns.size(); ++i) {
    const std::string outcome = lines[i]["outcome"];
    EXPECT_EQ(lines[i]["dn"], dns[i]);
    EXPECT_TRUE(outcome == "ok" || outcome == "not processed" || outcome == "unknown") << lines[i];
    ok += outcome == "ok";
    notProcessed += outcome == "not processed";
    if (outcome != "ok") notOk += dns[i] + "\n";
  }
  // The signal came mid-way: some items done, some never sent.
  EXPECT_GT(ok, 0u);
  EXPECT_GT(notProcessed, 0u);
  EXPECT_EQ(SummaryNumber(r.out, "Successful    : "), static_cast<long>(ok)) << r.out;
  EXPECT_EQ(ReadFileBytes(run.failed), notOk);

  const Entries entries = ReadChildren(ou, {"mDBStorageQuota"});
  for (size_t i = 0; i < dns.size(); ++i) {
    const auto entry = entries.find(LowerCase(dns[i]));
    ASSERT_NE(entry, entries.end()) << dns[i];
    const auto quota = entry->second.find("mdbstoragequota");
    if (lines[i]["outcome"] == "ok") {
      EXPECT_TRUE(quota != entry->second.end() && quota->second == "10240") << dns[i];
    } else if (lines[i]["outcome"] == "not processed") {
      EXPECT_EQ(quota, entry->second.end()) << dns[i];
    }
  }
}

TEST(RunEndIT, SigintEndsTheRunWithEveryItemAccountedFor) { CheckStoppedBySignal(SIGINT, "int"); }

TEST(RunEndIT, SigtermEndsTheRunWithEveryItemAccountedFor) {
  CheckStoppedBySignal(SIGTERM, "term");
}

// A stop waits 10 s at most for the answers on their way, even one it was
// already waiting for: with the link gone silent none comes, the writes sent
// are unknown (each with its error line), the rest not processed.
TEST(RunEndIT, AStopWaitsTenSecondsAtMostForTheAnswers) {
  const std::string ou = FreshOu("end-wait");
  const std::vector<std::string> dns = AddUsers(ou, "End Wait", 60);
  RelayedRun run;
  std::unique_ptr<LiveProcess> varnel = run.Start(dns, kMidWay);
  ASSERT_TRUE(run.SilenceUnderWay(*varnel)) << varnel->Output();
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(varnel->pid(), SIGINT), 0);
  ProcessResult r = varnel->Finish(seconds(120));
  const auto waited = std::chrono::steady_clock::now() - signalled;

  EXPECT_EQ(r.status, 130) << r.out << r.err;
  EXPECT_LT(waited, seconds(20)) << std::chrono::duration_cast<seconds>(waited).count() << " s";
  EXPECT_NE(r.out.find("\nDNs to Process: 60\n"), std::string::npos) << r.out;
  const std::vector<nlohmann::json> lines = ReportLines(ReadFileBytes(run.report));
  ASSERT_EQ(lines.size(), dns.size());
  size_t unknown = 0;
  for (const nlohmann::json& line : lines) {
    EXPECT_TRUE(line["outcome"] == "ok" || line["outcome"] == "unknown" ||
                line["outcome"] == "not processed")
        << line;
    unknown += line["outcome"] == "unknown";
  }
  EXPECT_GT(unknown, 0u);
  // Each write that was never answered has its error line, as any failure.
  EXPECT_EQ(Count(r.err, ": [] Error 0x55 (85) - Timed out\n"), unknown) << r.err;
}

// However many requests are on their way, the process is gone within 10 s
// of the signal, and it waits for them without spinning.
TEST(RunEndIT, AStopEndsTheProcessWithinTenSecondsAtAWideWindow) {
  const std::string ou = FreshOu("end-wide");
  const std::vector<std::string> dns = AddUsers(ou, "End Wide", 60);
  RelayedRun run;
  std::unique_ptr<LiveProcess> varnel = run.Start(dns, {"-window", "1024"});
  ASSERT_TRUE(run.SilenceUnderWay(*varnel)) << varnel->Output();
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(varnel->pid(), SIGTERM), 0);
  ProcessResult r = varnel->Finish(seconds(120));
  const auto waited = std::chrono::steady_clock::now() - signalled;

  EXPECT_EQ(r.status, 143) << r.out << r.err;
  EXPECT_LT(waited, seconds(11)) << std::chrono::duration_cast<seconds>(waited).count() << " s";
  EXPECT_LT(r.cpu, seconds(5)) << r.cpu.count() << " ms";
  EXPECT_NE(r.out.find("\nThe command completed with errors.\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReportLines(ReadFileBytes(run.report)).size(), dns.size());
}

// A signal while the list is still being read ends the run at once, with
// nothing sent: from a list that never ends, and from an input that waits.
TEST(RunEndIT, AStopWhileTheListIsReadEndsTheRunWithNothingSent) {
  const std::string ou = FreshOu("end-list");
  const std::string user = AddUser(ou, "End List");
  struct Case {
    std::vector<std::string> args;
    int signal;
  };
  // A FIFO whose writer stays (this test holds it open for writing) but
  // writes nothing more.
  const std::string fifo = ScratchPath("list.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, (user + "\n").data(), user.size() + 1),
            static_cast<ssize_t>(user.size() + 1));
  const std::vector<Case> cases = {{{"-upd", "-hfal", "-f", "/dev/zero"}, SIGTERM},
                                   {{"-upd", "-hfal", "-f", fifo}, SIGTERM},
                                   {{"-upd", "-hfal"}, SIGINT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    std::unique_ptr<LiveProcess> varnel = StartVarnel(c.args);
    varnel->Write(user + "\n");  // standard input stays open
    ASSERT_TRUE(varnel->WaitForOutput("Exchange Mode: ", 1, seconds(60))) << varnel->Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(varnel->pid(), c.signal), 0);
    ProcessResult r = varnel->Await(seconds(30));
    const auto waited = std::chrono::steady_clock::now() - signalled;

    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 128 + c.signal) << r.out << r.err;
    EXPECT_LT(waited, seconds(10));
    EXPECT_EQ(r.out.find("DN Count"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ERROR: Stopped by signal " + std::to_string(c.signal) + ";"),
              std::string::npos)
        << r.err;
  }
  close(writer);
  unlink(fifo.c_str());
  EXPECT_EQ(ReadValue(user, "msExchHideFromAddressLists"), "");
}

// The first signal waits for the answers on their way; with the link gone
// silent none comes, and a second signal ends the run at once.
TEST(RunEndIT, ASecondSignalEndsTheRunAtOnce) {
  const std::string ou = FreshOu("end-twice");
  const std::vector<std::string> dns = AddUsers(ou, "End Twice", 60);
  RelayedRun run;
  std::unique_ptr<LiveProcess> varnel = run.Start(dns, kMidWay);
  ASSERT_TRUE(run.SilenceUnderWay(*varnel)) << varnel->Output();
  const auto first = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(varnel->pid(), SIGINT), 0);
  std::this_thread::sleep_for(seconds(1));
  ASSERT_EQ(kill(varnel->pid(), SIGINT), 0);
  ProcessResult r = varnel->Finish(seconds(60));
  const auto ended = std::chrono::steady_clock::now();

  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 130) << r.out << r.err;
  EXPECT_LT(ended - first, seconds(4));
  // Whatever the report holds is whole lines, in input order.
  const std::string text = ReadFileBytes(run.report);
  EXPECT_TRUE(text.empty() || text.back() == '\n') << text;
  std::istringstream report(text);
  size_t index = 0;
  for (std::string line; std::getline(report, line); ++index) {
    ASSERT_LT(index, dns.size());
    nlohmann::json item = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(item.is_discarded()) << line;
    EXPECT_EQ(item["dn"], dns[index]);
  }
  EXPECT_GE(index, 4u);
}

// A mailbox creation while the controller is restarted: a change whose answer
// was lost with the connection is found in the object when it landed, so no
// object is given a second mailbox or failed for having one.
class RunEndRestartIT : public ::testing::Test {
 protected:
  void TearDown() override {
    if (controllerDown_) {
      EXPECT_TRUE(StartDomainController());
    }
  }
  bool controllerDown_ = false;
};

TEST_F(RunEndRestartIT, ALostAnswerThatLandedCountsAsDone) {
  const std::string ou = FreshOu("end-restart");
  const std::vector<std::string> dns = AddUsers(ou, "End Restart", 60);
  const std::string report = ScratchPath("restart.jsonl");
  std::unique_ptr<LiveProcess> varnel =
      StartVarnel({"-cr", "SRV1:SG1:DB1", "-cont", "-unsafe", "-report", report});
  varnel->Write(Lines(dns));
  varnel->CloseInput();
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", 8, seconds(120))) << varnel->Output();
  ASSERT_TRUE(varnel->Pause());
  controllerDown_ = true;
  ASSERT_TRUE(StopDomainController());
  controllerDown_ = !StartDomainController();
  ASSERT_FALSE(controllerDown_);
  varnel->Resume();
  ProcessResult r = varnel->Finish(seconds(120));
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.err.find("already exists"), std::string::npos) << r.err;
  RecordProperty("tried_again",
                 static_cast<int>(Count(r.err, "lost and made again; trying this object again")));

  const std::vector<nlohmann::json> lines = ReportLines(ReadFileBytes(report));
  unlink(report.c_str());
  ASSERT_EQ(lines.size(), dns.size());
  const Entries entries = ReadChildren(ou, {"homeMDB"});
  size_t ok = 0;
  for (size_t i = 0; i < dns.size(); ++i) {
    EXPECT_NE(lines[i]["status"], 68) << lines[i];
    EXPECT_TRUE(lines[i]["outcome"] == "ok" || lines[i]["outcome"] == "unknown") << lines[i];
    if (lines[i]["outcome"] != "ok") continue;
    ++ok;
    const auto entry = entries.find(LowerCase(dns[i]));
    ASSERT_NE(entry, entries.end()) << dns[i];
    EXPECT_EQ(entry->second.count("homemdb"), 1u) << dns[i];
  }
  // The controller came back, so every item was done.
  EXPECT_EQ(ok, dns.size()) << r.err;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
}  // namespace varnel::integration
