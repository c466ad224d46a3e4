#include "ldap/server_address.h"

#include <gtest/gtest.h>

#include "ldap/ldap_session.h"

namespace varnel {
namespace {

TEST(ServerUriTest, TakesLdapAndLdapsWithHostAndPort) {
  std::optional<ServerUri> uri = ParseServerUri("LDAPS://dc1.example.com:3269/");
  ASSERT_TRUE(uri);
  EXPECT_TRUE(uri->tls);
  EXPECT_EQ(uri->host, "dc1.example.com");
  EXPECT_EQ(uri->port, 3269);

  uri = ParseServerUri("ldap://[fe80::1]");
  ASSERT_TRUE(uri);
  EXPECT_FALSE(uri->tls);
  EXPECT_EQ(uri->host, "[fe80::1]");
  EXPECT_EQ(uri->port, std::nullopt);
}

TEST(ServerUriTest, RefusesWhatLibldapWouldReadOtherwise) {
  for (const char* bad :
       {"ldapi://%2fvar%2frun", "http://dc1", "ldaps://", "ldaps:///", "ldap://:636",
        "ldaps://dc1:65536", "ldaps://dc1:+636", "ldap://user@dc1", "ldap://dc1/CN=x",
        "ldap://dc1??base", "ldap://dc1 ldap://dc2", "ldap://[::1", "ldap://[]", "ldaps//dc1"}) {
    EXPECT_FALSE(ParseServerUri(bad)) << bad;
  }
  EXPECT_FALSE(IsServerUriText("dc1:636"));
  EXPECT_TRUE(IsServerUriText("ldapi://x"));
}

TEST(ServerUriTest, PortAndDisplayTextOfUris) {
  EXPECT_EQ(ChoosePort("ldaps://dc1", 0), 636);
  EXPECT_EQ(ChoosePort("ldap://dc1", 0), 389);
  EXPECT_EQ(ChoosePort("ldaps://dc1:1636", 0), 1636);
  EXPECT_EQ(ChoosePort("ldaps://dc1:1636", 1), 3269);
  EXPECT_EQ(ChoosePort("ldap://dc1", 1), 3268);
  EXPECT_EQ(ChoosePort("ldaps://dc1", 4000), 4000);
  EXPECT_EQ(DisplayServerText("ldaps://dc1.example.com:636"), "dc1.example.com");
  // The old form keeps its meaning: the text before the first ":".
  EXPECT_EQ(DisplayServerText("dc1.example.com:636"), "dc1.example.com");
  EXPECT_EQ(ChoosePort("dc1:3269", 0), 3269);
}

}  // namespace
}  // namespace varnel
