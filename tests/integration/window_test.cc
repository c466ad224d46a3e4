// Runs that keep several requests outstanding (-window, or as many as the
// server takes): what they show and write is that of one request at a time,
// -rate holds them back, and a link that goes silent ends the run in bounded
// time.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "integration/sandbox_harness.h"
#include "text/string_helpers.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

TEST(WindowIT, OutstandingRequestsLeaveOutputFilesAndStatusAsOneAtATime) {
  const std::string ou = FreshOu("window-same");
  std::vector<std::string> dns;
  for (int i = 0; i < 12; ++i)
    dns.push_back(AddContact(ou, "Window " + std::to_string(i),
                             "mail: w" + std::to_string(i) + "@example.com\n"));
  // Good, missing and repeated objects (one in other letter case).
  std::string input;
  for (int i = 0; i < 12; ++i) {
    input += dns[i] + "\n";
    if (i % 4 == 1) input += "CN=Window Missing " + std::to_string(i) + "," + ou + "\n";
    if (i % 5 == 2) input += LowerCase(dns[i / 2]) + "\n";
  }
  struct Run {
    ProcessResult result;
    std::string report;
    std::string failed;
  };
  auto run = [&](const std::vector<std::string>& extra) {
    const std::string report = ScratchPath("window.jsonl");
    const std::string failed = ScratchPath("window.failed");
    std::vector<std::string> args = {"-upd",    "-hfal",   "-quota", "10:20:30", "-cont",
                                     "-unsafe", "-report", report,   "-failed",  failed};
    args.insert(args.end(), extra.begin(), extra.end());
    Run r{RunVarnel(args, input), ReadFileBytes(report), ReadFileBytes(failed)};
    unlink(report.c_str());
    unlink(failed.c_str());
    return r;
  };
  // The objects as they were, so that the second run does the same work.
  auto reset = [&] {
    std::string ldif;
    for (const std::string& dn : dns)
      ldif += "dn: " + dn +
              "\nchangetype: modify\nreplace: msExchHideFromAddressLists\n-\n"
              "replace: mDBUseDefaults\n-\nreplace: mDBStorageQuota\n-\n"
              "replace: mDBOverQuotaLimit\n-\nreplace: mDBOverHardQuotaLimit\n-\n\n";
    ASSERT_EQ(ApplyLdif(ldif), 0);
  };
  const Run one = run({"-window", "1"});
  reset();
  const Run many = run({});
  EXPECT_EQ(one.result.status, 32);
  EXPECT_EQ(many.result.status, one.result.status);
  EXPECT_EQ(many.result.out, one.result.out);
  EXPECT_EQ(many.result.err, one.result.err);
  EXPECT_EQ(many.report, one.report);
  EXPECT_EQ(many.failed, one.failed);
  EXPECT_EQ(Count(one.failed, "\n"), 3u);
}

// Without -cont, through a slow link: the fifth object refuses the write, and
// the writes that went out with it and landed are put back, so the directory,
// the output, the status and -failed are those of one request at a time.
TEST(WindowIT, AFailureWithoutContLeavesWhatOneRequestAtATimeWould) {
  ASSERT_EQ(geteuid(), 0u) << "the deny-write entry is written into the DC's own database";
  const std::string ou = FreshOu("window-stop");
  std::vector<std::string> dns;
  for (int i = 0; i < 12; ++i) dns.push_back(AddContact(ou, "Stop " + std::to_string(i)));
  // The administrator (RID 500) may not write the fifth.
  const std::string sid = AccountSid("Administrator");
  ASSERT_NE(sid, "");
  ASSERT_TRUE(AddAces(dns[4], "(D;;WP;;;" + sid + ")"));
  LiveProcess relay({"python3", VARNEL_DELAY_RELAY, "127.0.0.1", "389", "20"}, {});
  ASSERT_TRUE(relay.WaitForOutput("\n", 1, seconds(20))) << relay.Output();
  const std::string port = relay.Output().substr(0, relay.Output().find('\n'));

  struct Run {
    ProcessResult result;
    std::string report;
    std::string failed;
    std::vector<std::string> hidden;
  };
  auto run = [&](const std::vector<std::string>& extra) {
    const std::string report = ScratchPath("stop.jsonl");
    const std::string failed = ScratchPath("stop.failed");
    std::vector<std::string> args = {"-h",  "localhost:" + port, "-upd", "-hfal",   "-safety",
                                     "100", "-report",           report, "-failed", failed};
    args.insert(args.end(), extra.begin(), extra.end());
    Run r{RunVarnel(args, Lines(dns)), ReadFileBytes(report), ReadFileBytes(failed), {}};
    for (const std::string& dn : dns)
      r.hidden.push_back(ReadValue(dn, "msExchHideFromAddressLists"));
    unlink(report.c_str());
    unlink(failed.c_str());
    std::string ldif;
    for (const std::string& dn : dns)
      ldif += "dn: " + dn + "\nchangetype: modify\nreplace: msExchHideFromAddressLists\n-\n\n";
    ApplyLdif(ldif, true);  // the fifth refuses this too
    return r;
  };
  const Run one = run({"-window", "1"});
  const Run many = run({});
  EXPECT_EQ(one.result.status, 50) << one.result.out << one.result.err;
  EXPECT_EQ(many.result.status, one.result.status);
  EXPECT_EQ(many.result.out, one.result.out);
  EXPECT_EQ(many.result.err, one.result.err);
  EXPECT_EQ(many.failed, one.failed);
  EXPECT_EQ(many.hidden, one.hidden);
  EXPECT_EQ(many.hidden[3], "TRUE");
  EXPECT_EQ(many.hidden[5], "");
  // The report says which items were put back; otherwise it is the same.
  EXPECT_GE(Count(many.report, ",\"rolled_back\":true"), 1u) << many.report;
  std::string report = many.report;
  for (size_t at = report.find(",\"rolled_back\":true"); at != std::string::npos;
       at = report.find(",\"rolled_back\":true"))
    report.erase(at, std::string(",\"rolled_back\":true").size());
  EXPECT_EQ(report, one.report);
}

// -rate: six objects at five a second start over at least a second; a value
// that is not a number ends the run before the directory.
TEST(WindowIT, RateSpacesTheObjectsAndABadRateEndsTheRun) {
  const std::string ou = FreshOu("window-rate");
  std::vector<std::string> dns;
  for (int i = 0; i < 6; ++i)
    dns.push_back(AddContact(ou, "Rate " + std::to_string(i),
                             "mail: r" + std::to_string(i) + "@example.com\n"));
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult paced = RunVarnel({"-upd", "-hfal", "-cont", "-rate", "5"}, Lines(dns));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(paced.status, 0) << paced.err;
  EXPECT_EQ(SummaryNumber(paced.out, "Successful    : "), 6);
  EXPECT_GE(took, std::chrono::milliseconds(1000));
  EXPECT_EQ(ReadValue(dns[5], "msExchHideFromAddressLists"), "TRUE");

  const ProcessResult bad = RunVarnel({"-upd", "-hfal", "-rate", "x"}, Lines(dns));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("ERROR: Bad value for -rate: x\n"), std::string::npos) << bad.err;
}

// A relay that goes silent ends the run within a minute, whatever the window:
// one answer's timeout, then a shorter one for the try to connect again; the
// requests still waiting are not waited for again.
// At a large window a slow link and a longer list keep the run going until
// the link goes silent.
struct SilentCase {
  const char* window;
  int objects;
  const char* delayMs;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SilentCase& c, std::ostream* os) { *os << "window " << c.window; }
class SilentRelayIT : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentRelayIT, EndsTheRunWithinAMinute) {
  const SilentCase c = GetParam();
  LiveProcess relay({"python3", VARNEL_DELAY_RELAY, "127.0.0.1", "389", c.delayMs}, {});
  ASSERT_TRUE(relay.WaitForOutput("\n", 1, seconds(20))) << relay.Output();
  const std::string port = relay.Output().substr(0, relay.Output().find('\n'));

  const std::string ou = FreshOu(std::string("window-silent-") + c.window);
  std::vector<std::string> dns;
  for (int i = 0; i < c.objects; ++i) dns.push_back(AddUser(ou, "Silent " + std::to_string(i)));
  const std::string report = ScratchPath("silent.jsonl");
  std::unique_ptr<LiveProcess> varnel =
      StartVarnel({"-h", "localhost:" + port, "-upd", "-quota", "10:20:30", "-cont", "-unsafe",
                   "-window", c.window, "-report", report});
  varnel->Write(Lines(dns));
  varnel->CloseInput();
  ASSERT_TRUE(varnel->WaitForOutput("   DN: ", 4, seconds(120))) << varnel->Output();
  ASSERT_TRUE(varnel->Pause());
  ASSERT_EQ(kill(relay.pid(), SIGUSR1), 0);
  const auto silentSince = std::chrono::steady_clock::now();
  varnel->Resume();
  ProcessResult r = varnel->Finish(seconds(200));
  EXPECT_FALSE(r.timedOut);
  // Counted from the moment the link went silent: the slow link's start-up
  // before it is no part of the promise.
  const auto silent = std::chrono::steady_clock::now() - silentSince;
  EXPECT_LT(silent, seconds(60)) << std::chrono::duration_cast<seconds>(silent).count() << " s";
  EXPECT_EQ(r.status, 0x55) << r.out << r.err;  // timed out
  EXPECT_EQ(Count(r.err, "ERROR: Lost the connection to the directory server"), 1u) << r.err;
  const std::string lines = ReadFileBytes(report);
  EXPECT_EQ(Count(lines, "\"outcome\":\"ok\""),
            static_cast<size_t>(SummaryNumber(r.out, "Successful    : ")));
  // What was sent when the relay went silent may have changed; the rest was
  // never sent.
  EXPECT_EQ(Count(lines, "\"outcome\":\"ok\"") + Count(lines, "\"outcome\":\"unknown\"") +
                Count(lines, "\"outcome\":\"not processed\""),
            dns.size())
      << lines;
  if (std::string(c.window) == "1") {
    EXPECT_GE(Count(lines, "\"outcome\":\"not processed\""), dns.size() - 5u) << lines;
  }
  unlink(report.c_str());
}

INSTANTIATE_TEST_SUITE_P(Windows, SilentRelayIT,
                         ::testing::Values(SilentCase{"1", 12, "0"}, SilentCase{"32", 200, "100"}));

}  // namespace
}  // namespace varnel::integration
