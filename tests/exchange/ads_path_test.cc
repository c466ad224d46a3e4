#include "exchange/ads_path.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

TEST(BuildAdsPathTest, PutsTheHostAndASlashBeforeTheDnOnlyWhenGiven) {
  EXPECT_EQ(BuildAdsPath("", "CN=u1,DC=example,DC=com"), "LDAP://CN=u1,DC=example,DC=com");
  EXPECT_EQ(BuildAdsPath("dc1.example.com", "CN=u1,DC=example,DC=com"),
            "LDAP://dc1.example.com/CN=u1,DC=example,DC=com");
  EXPECT_EQ(BuildAdsPath("dc1:3268", "CN=a/b,DC=x"), "LDAP://dc1:3268/CN=a/b,DC=x");
}

struct PathCase {
  std::string path;
  HResult result;
};

class CheckAdsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(CheckAdsPathTest, NamesAnObjectOnlyWithADnAfterTheServer) {
  EXPECT_EQ(CheckAdsPath(GetParam().path).code(), GetParam().result) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CheckAdsPathTest,
    ::testing::Values(
        PathCase{"LDAP://CN=u1,DC=x", kSOk}, PathCase{"ldap://CN=u1,DC=x", kSOk},
        PathCase{"LdAp://dc1/CN=u1,DC=x", kSOk}, PathCase{"LDAP://dc1:636/CN=u1,DC=x", kSOk},
        // The text before the first "/" holds "=": it is part of the DN.
        PathCase{"LDAP://CN=a/b,OU=c/d,DC=x", kSOk}, PathCase{"LDAP://dc1/CN=a/b,DC=x", kSOk},
        // A server written as a URI (-h ldaps://...) keeps its "//".
        PathCase{"LDAP://ldaps://dc1:636/CN=a/b,DC=x", kSOk},
        PathCase{"LDAP://LDAP://dc1/CN=u1,DC=x", kSOk},
        PathCase{"LDAP://ldaps://dc1", kEAdsBadPathname}, PathCase{"LDAP://", kEAdsBadPathname},
        PathCase{"LDAP://dc1/", kEAdsBadPathname}, PathCase{"LDAP:///CN=u1,DC=x", kEAdsBadPathname},
        PathCase{"LDAP://dc1", kEAdsBadPathname},
        // A DN with a "/" before any "=" reads as a server and no DN.
        PathCase{"LDAP://a/b", kEAdsBadPathname}, PathCase{"CN=u1,DC=x", kEAdsBadPathname},
        PathCase{"GC://CN=u1,DC=x", kEAdsBadPathname},
        PathCase{"LDAP:/CN=u1,DC=x", kEAdsBadPathname}, PathCase{"", kEAdsBadPathname}));

TEST(AdsPathRoundTripTest, AcceptsWhatItBuildsFromAnyDnWithAName) {
  EXPECT_EQ(CheckAdsPath(BuildAdsPath("dc1.example.com", "CN=Smith/Jones,OU=A/B,DC=x")).code(),
            kSOk);
  EXPECT_EQ(CheckAdsPath(BuildAdsPath("dc1.example.com", "foo")).code(), kEAdsBadPathname);
}

}  // namespace
}  // namespace varnel
