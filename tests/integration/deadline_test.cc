// A server that is reached but never answers: the run gives up within the
// set-up deadline (30 s) and waits without using the processor.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

using std::chrono::seconds;

// A listening socket on 127.0.0.1 that is never accepted from. With room in
// its queue the kernel completes every connection, which then hears
// nothing; with its queue held full by a connection of its own (a backlog
// of 0), the kernel drops the next client's SYN, so that connect is never
// answered.
class SilentListener {
 public:
  explicit SilentListener(bool answerSyn) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, answerSyn ? 16 : 0) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    if (!answerSyn) {
      filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (filler_ < 0 ||
          connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot fill the listening queue");
    }
  }
  ~SilentListener() {
    if (filler_ >= 0) close(filler_);
    close(fd_);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

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
    EXPECT_LT(r.cpu, seconds(2));
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
  EXPECT_LT(r.cpu, seconds(2));
}

}  // namespace
}  // namespace varnel::integration
