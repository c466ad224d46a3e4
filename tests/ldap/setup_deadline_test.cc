#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "ldap/openldap_connection.h"

namespace varnel {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct SocketPair {
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
  ~SocketPair() {
    close(fds[0]);
    close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

// Armed, a wait for a socket that stays silent sleeps out the deadline and
// fails; a ready socket, or a deadline not armed, does not wait at all.
TEST(SetupDeadlineTest, AnArmedDeadlineWaitsAsleepForTheSocketAndThenFails) {
  SocketPair pair;
  SetupDeadline deadline;
  EXPECT_TRUE(deadline.Wait(pair.fds[0], POLLIN));  // never armed
  deadline.Arm(1);
  const auto start = steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  errno = 0;
  EXPECT_FALSE(deadline.Wait(pair.fds[0], POLLIN));
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_GE(steady_clock::now() - start, milliseconds(950));
  EXPECT_LT(std::clock() - cpuStart, CLOCKS_PER_SEC / 5);

  ASSERT_EQ(write(pair.fds[1], "x", 1), 1);
  deadline.Arm(30);
  const auto ready = steady_clock::now();
  EXPECT_TRUE(deadline.Wait(pair.fds[0], POLLIN));
  EXPECT_LT(steady_clock::now() - ready, milliseconds(500));
}

}  // namespace
}  // namespace varnel
