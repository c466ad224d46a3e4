// The real request channel over a session: what it does with requests
// nobody took the answers of, and reads on a session of their own.
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
  int ConnectionLoss() const override { return loss; }
  int timeout = 120;  // the connection's own
  bool reconnecting = true;
  int loss = 0;
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

TEST(SessionChannelTest, ReadsGoOnTheirOwnSessionWhichALostServerDoesNotKeepWaiting) {
  TimedConnection writes;
  TimedConnection reads;
  bool open = false;
  SessionChannel channel(writes, [&]() -> std::optional<LdapConnection*> {
    if (!open) return std::nullopt;
    return &reads;
  });
  LdapSearchRequest read;
  read.base = "CN=a,DC=x";
  // Until their session is open, reads go on the first.
  ASSERT_EQ(channel.StartRead(1, read), 0);
  open = true;
  ASSERT_EQ(channel.StartRead(2, read), 0);
  ASSERT_EQ(channel.StartWrite(3, "CN=a,DC=x", {}), 0);
  ChannelAnswer answer;
  ASSERT_TRUE(channel.TakeAnswer(&answer));
  ASSERT_TRUE(channel.TakeAnswer(&answer));
  EXPECT_EQ(answer.tag, 2u);
  EXPECT_EQ(writes.finishedWith, (std::vector<int>{120}));
  EXPECT_EQ(reads.finishedWith, (std::vector<int>{120}));

  // The reads' server could not be reached again: the write's answer is
  // taken as it stands, and neither session tries again.
  reads.loss = 0x51;
  EXPECT_EQ(channel.ConnectionLoss(), 0x51);
  ASSERT_TRUE(channel.TakeAnswer(&answer));
  EXPECT_EQ(answer.tag, 3u);
  EXPECT_EQ(writes.finishedWith, (std::vector<int>{120, 0}));
  EXPECT_FALSE(writes.reconnecting);
}

TEST(SessionChannelTest, TheLoopTakesOverAnEarlyReadAndOneNeverTakenOverIsDropped) {
  TimedConnection session;
  SessionChannel channel(session);
  LdapSearchRequest a;
  a.base = "CN=a,DC=x";
  LdapSearchRequest b;
  b.base = "CN=b,DC=x";
  ASSERT_EQ(channel.StartEarlyRead(0, a), 0);
  ASSERT_EQ(channel.StartEarlyRead(1, b), 0);
  ASSERT_EQ(channel.StartRead(1, b), 0);  // taken over: nothing more is sent
  ASSERT_EQ(channel.StartRead(2, a), 0);  // another item of the same DN is sent
  EXPECT_EQ(session.searches.size(), 3u);
  ChannelAnswer answer;
  ASSERT_TRUE(channel.TakeAnswer(&answer));
  EXPECT_EQ(answer.tag, 1u);
  EXPECT_TRUE(answer.early);
  ASSERT_TRUE(channel.TakeAnswer(&answer));
  EXPECT_EQ(answer.tag, 2u);
  EXPECT_FALSE(answer.early);
  EXPECT_FALSE(channel.TakeAnswer(&answer));
}

}  // namespace
}  // namespace varnel
