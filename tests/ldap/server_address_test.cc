#include "ldap/server_address.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

std::string Parsed(std::string_view text) {
  const std::optional<ServerAddress> address = ParseServerAddress(text);
  return address ? address->Url() : "refused";
}

TEST(ServerAddressTest, BothFormsNameHostPortAndTls) {
  EXPECT_EQ(Parsed("LDAPS://dc1.example.com:3269/"), "ldaps://dc1.example.com:3269");
  EXPECT_EQ(Parsed("ldaps://dc1"), "ldaps://dc1:636");
  EXPECT_EQ(Parsed("ldap://[fe80::1]"), "ldap://[fe80::1]:389");
  EXPECT_EQ(Parsed("dc1"), "ldap://dc1:389");
  EXPECT_EQ(Parsed("dc1:636"), "ldap://dc1:636");  // the plain form is never TLS
  EXPECT_EQ(Parsed("[::1]:1389"), "ldap://[::1]:1389");
}

TEST(ServerAddressTest, RefusesWhatNamesNoOneServer) {
  for (const char* bad : {"ldapi://%2fvar%2frun",
                          "http://dc1",
                          "ldaps://",
                          "ldaps:///",
                          "ldap://:636",
                          "ldaps://dc1:65536",
                          "ldaps://dc1:0",
                          "ldap://user@dc1",
                          "ldap://dc1/CN=x",
                          "ldap://dc1??base",
                          "ldap://dc1 ldap://dc2",
                          "ldap://[::1",
                          "ldap://[]",
                          "ldaps//dc1",
                          "dc1:",
                          "dc1:abc",
                          "dc1:1:2",
                          "[::1]x",
                          "[dc-1]",
                          "dc1:636x",
                          ""}) {
    EXPECT_EQ(Parsed(bad), "refused") << bad;
  }
}

}  // namespace
}  // namespace varnel
