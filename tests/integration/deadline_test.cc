// A server that is reached but never answers: the run gives up within the
// set-up deadline (30 s) and waits without using the processor.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

// A run that waits uses next to no processor time; under a wrapper such as
// valgrind, start-up alone costs seconds, but a busy wait would still cost the
// whole 30 s.
seconds CpuAllowance() { return std::getenv("VARNEL_WRAPPER") ? seconds(10) : seconds(2); }

TEST(DeadlineIT, ASilentServerEndsTheRunWithinTheDeadlineWithoutSpinning) {
  struct Case {
    const char* scheme;
    bool answerSyn;
    const char* errorLine;
  };
  const Case cases[] = {
      // The TLS handshake is never answered.
      {"ldaps://", true, "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\n"},
      // The bind is never answered.
      {"ldap://", true, "LDAP_BIND: [127.0.0.1] Error 0x55 (85) - Timed out\n"},
      // The connection is never made.
      {"ldaps://", false, "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\n"},
  };
  for (const Case& c : cases) {
    SilentListener server(c.answerSyn);
    const std::string uri = c.scheme + std::string("127.0.0.1:") + std::to_string(server.port());
    SCOPED_TRACE(uri + (c.answerSyn ? "" : " (SYN dropped)"));
    RunOptions options;
    options.timeout = seconds(120);
    ProcessResult r = RunProcess(VarnelCommand({"-clear", "-q", "-h", uri, "-b", TestOu()}), "",
                                 SandboxEnv(), options);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find(c.errorLine), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Terminating program.\n"), std::string::npos) << r.err;
    EXPECT_GT(r.elapsed, seconds(25));
    EXPECT_LT(r.elapsed, seconds(60));
    EXPECT_LT(r.cpu, CpuAllowance()) << r.cpu.count();
  }
}

// A stop while the handshake waits ends the run as a stop, at once.
TEST(DeadlineIT, AStopDuringTheSetUpEndsTheRunAtOnce) {
  SilentListener server(true);
  std::unique_ptr<LiveProcess> varnel = StartVarnel(
      {"-clear", "-h", "ldaps://127.0.0.1:" + std::to_string(server.port()), "-b", TestOu()});
  std::this_thread::sleep_for(seconds(2));
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(varnel->pid(), SIGTERM), 0);
  const ProcessResult r = varnel->Finish(seconds(60));
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, seconds(10));
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_NE(r.err.find("ERROR: Stopped by signal 15;"), std::string::npos) << r.err;
  EXPECT_LT(r.cpu, CpuAllowance()) << r.cpu.count();
}

}  // namespace
}  // namespace varnel::integration
