#include "exchange/ads_path.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(BuildAdsPathTest, PutsTheHostAndASlashBeforeTheDnOnlyWhenGiven) {
  EXPECT_EQ(BuildAdsPath("", "CN=u1,DC=example,DC=com"), "LDAP://CN=u1,DC=example,DC=com");
  EXPECT_EQ(BuildAdsPath("dc1.example.com", "CN=u1,DC=example,DC=com"),
            "LDAP://dc1.example.com/CN=u1,DC=example,DC=com");
  EXPECT_EQ(BuildAdsPath("dc1:3268", "CN=a/b,DC=x"), "LDAP://dc1:3268/CN=a/b,DC=x");
}

struct PathCase {
  std::u16string path;
  HResult result;
  std::optional<std::string> server;
  std::string dn;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.path.size() << "-unit path"; }

class ParseAdsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ParseAdsPathTest, SplitsServerAndDn) {
  const PathCase& c = GetParam();
  AdsPath parsed;
  parsed.dn = "untouched";
  ASSERT_EQ(ParseAdsPath(c.path, &parsed), c.result);
  if (c.result != kSOk) {
    EXPECT_EQ(parsed.dn, "untouched");
    return;
  }
  EXPECT_EQ(parsed.server, c.server);
  EXPECT_EQ(parsed.dn, c.dn);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ParseAdsPathTest,
    ::testing::Values(
        PathCase{u"LDAP://CN=u1,DC=x", kSOk, std::nullopt, "CN=u1,DC=x"},
        PathCase{u"ldap://CN=u1,DC=x", kSOk, std::nullopt, "CN=u1,DC=x"},
        PathCase{u"LdAp://dc1/CN=u1,DC=x", kSOk, "dc1", "CN=u1,DC=x"},
        PathCase{u"LDAP://dc1:636/CN=u1,DC=x", kSOk, "dc1:636", "CN=u1,DC=x"},
        // The text before the first "/" holds "=": it is part of the DN.
        PathCase{u"LDAP://CN=a/b,OU=c/d,DC=x", kSOk, std::nullopt, "CN=a/b,OU=c/d,DC=x"},
        PathCase{u"LDAP://dc1/CN=a/b,DC=x", kSOk, "dc1", "CN=a/b,DC=x"},
        PathCase{u"LDAP://CN=Jos\u00e9,DC=x", kSOk, std::nullopt, "CN=Jos\xC3\xA9,DC=x"},
        // A server written as a URI (-h ldaps://...) keeps its "//".
        PathCase{u"LDAP://ldaps://dc1:636/CN=a/b,DC=x", kSOk, "ldaps://dc1:636", "CN=a/b,DC=x"},
        PathCase{u"LDAP://LDAP://dc1/CN=u1,DC=x", kSOk, "LDAP://dc1", "CN=u1,DC=x"},
        PathCase{u"LDAP://ldaps://dc1", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"LDAP://", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"LDAP://dc1/", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"LDAP:///CN=u1,DC=x", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"LDAP://dc1", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"CN=u1,DC=x", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"GC://CN=u1,DC=x", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"LDAP:/CN=u1,DC=x", kEAdsBadPathname, std::nullopt, ""},
        PathCase{u"", kEAdsBadPathname, std::nullopt, ""}));

TEST(AdsPathRoundTripTest, ParsesWhatItBuilds) {
  AdsPath parsed;
  const std::string built = BuildAdsPath("dc1.example.com", "CN=Smith/Jones,OU=A/B,DC=x");
  ASSERT_EQ(ParseAdsPath(std::u16string(built.begin(), built.end()), &parsed), kSOk);
  EXPECT_EQ(parsed.server, "dc1.example.com");
  EXPECT_EQ(parsed.dn, "CN=Smith/Jones,OU=A/B,DC=x");
}

}  // namespace
}  // namespace varnel
