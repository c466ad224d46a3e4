// The real request channel over a session: what it does with requests
// nobody took the answers of.
#include "run/session_channel.h"

#include <gtest/gtest.h>

#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

// Notes the longest wait each request was finished with.
class TimedConnection : public testing::FakeLdapConnection {
 public:
  void SetAnswerTimeout(int seconds) override { timeout = seconds; }
  void StopReconnecting() override { reconnecting = false; }
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override {
    finishedWith.push_back(timeout);
    return FakeLdapConnection::FinishSearch(id, entries);
  }
  int FinishModify(int id) override {
    finishedWith.push_back(timeout);
    return FakeLdapConnection::FinishModify(id);
  }
  int timeout = 120;  // the connection's own
  bool reconnecting = true;
  std::vector<int> finishedWith;
};

TEST(SessionChannelTest, RequestsLeftAtTheEndAreNotWaitedFor) {
  TimedConnection session;
  {
    SessionChannel channel(session);
    LdapSearchRequest read;
    read.base = "CN=a,DC=x";
    ASSERT_EQ(channel.StartRead(1, read), 0);
    ASSERT_EQ(channel.StartWrite(2, "CN=a,DC=x", {}), 0);
  }
  EXPECT_EQ(session.finishedWith, (std::vector<int>{0, 0}));
  EXPECT_FALSE(session.reconnecting);

  // A channel whose answers were all taken leaves the session as it was.
  TimedConnection untouched;
  { SessionChannel channel(untouched); }
  EXPECT_TRUE(untouched.reconnecting);
  EXPECT_EQ(untouched.timeout, 120);
}

}  // namespace
}  // namespace varnel
