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

TEST(HostPortTest, BracketedIPv6AddressInThePlainForm) {
  auto split = [](std::string_view text) -> std::string {
    const std::optional<HostPort> parts = SplitHostPort(text);
    if (!parts) return "refused";
    return parts->host + (parts->hasPort ? " port " + parts->port : "");
  };
  EXPECT_EQ(split("[::1]"), "[::1]");
  EXPECT_EQ(split("[::1]:389"), "[::1] port 389");
  EXPECT_EQ(split("[fe80::1:2]:"), "[fe80::1:2] port ");
  EXPECT_EQ(split("dc1:636"), "dc1 port 636");
  EXPECT_EQ(split("dc1"), "dc1");
  EXPECT_EQ(split("dc1:1:2"), "dc1 port 1:2");  // cut at the first colon, as always
  for (const char* bad : {"[::1", "[]", "[::1]x", "[::1]389", "[dc-1]", "[::1]]"})
    EXPECT_EQ(split(bad), "refused") << bad;

  EXPECT_EQ(ChoosePort("[::1]", 0), 389);
  EXPECT_EQ(ChoosePort("[::1]:1389", 0), 1389);
  EXPECT_EQ(ChoosePort("[::1]:1389", 1), 3268);
  EXPECT_EQ(DisplayServerText("[::1]:1389"), "[::1]");
}

TEST(ServerUriTest, GlobalCatalogPortInEitherForm) {
  EXPECT_EQ(GlobalCatalogPort("dc1:3268"), 3268);
  EXPECT_EQ(GlobalCatalogPort("[::1]:03269"), 3269);
  EXPECT_EQ(GlobalCatalogPort("LDAP://dc1:3268/"), 3268);
  EXPECT_EQ(GlobalCatalogPort("ldaps://dc1:3269"), 3269);
  for (const char* other : {"dc1", "dc1:389", "dc1:32680", "ldap://dc1", "ldaps://dc1:636",
                            "ldap://dc1:3268/x", "dc1:3268x", ""})
    EXPECT_EQ(GlobalCatalogPort(other), std::nullopt) << other;
}

}  // namespace
}  // namespace varnel
