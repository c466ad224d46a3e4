// Searches sent ahead against the in-memory fake: what each later search is
// answered from, and what still goes to the server.
#include "ldap/searches_ahead.h"

#include <gtest/gtest.h>

#include "ldap/search_helpers.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

using varnel::testing::FakeLdapConnection;

const char kBase[] = "CN=Services,DC=x";
const char kServerFilter[] = "(objectCategory=server)";
const char kGroupFilter[] = "(&(objectCategory=group)(name=SG1))";

class SearchesAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.AddEntry(kBase, {});
    for (const char* server : {"CN=S1,CN=Services,DC=x", "CN=S2,CN=Services,DC=x"}) {
      fake.AddEntry(server, {{"objectCategory", {"server"}}});
      fake.AddEntry(std::string("CN=SG1,") + server,
                    {{"objectCategory", {"group"}}, {"name", {"SG1"}}});
    }
  }
  std::vector<std::string> Dns(const LdapSearchRequest& request) {
    std::vector<LdapEntry> entries;
    EXPECT_EQ(ahead.Search(request, &entries), 0);
    std::vector<std::string> dns;
    for (const LdapEntry& entry : entries) dns.push_back(entry.dn);
    return dns;
  }

  FakeLdapConnection fake;
  SearchesAhead ahead{fake};
};

TEST_F(SearchesAheadTest, TheSameSearchIsAnsweredOnceFromWhatWentAhead) {
  const LdapSearchRequest servers = StrListRequest(kBase, kServerFilter, "distinguishedName");
  ahead.Send(servers);
  fake.AddEntry("CN=S3,CN=Services,DC=x", {{"objectCategory", {"server"}}});
  EXPECT_EQ(Dns(servers).size(), 2u);  // as it was when sent
  EXPECT_EQ(fake.searches.size(), 1u);
  EXPECT_EQ(Dns(servers).size(), 3u);  // asked again
  EXPECT_EQ(fake.searches.size(), 2u);
}

TEST_F(SearchesAheadTest, ASearchBelowAnEntryItNamedIsAnsweredFromTheWiderOne) {
  ahead.Send(StrListRequest(kBase, kServerFilter, "distinguishedName"));
  ahead.Send(StrListRequest(kBase, kGroupFilter, "distinguishedName"));
  (void)Dns(StrListRequest(kBase, kServerFilter, "distinguishedName"));
  EXPECT_EQ(Dns(StrListRequest("cn=s2,cn=services,dc=x", kGroupFilter, "distinguishedName")),
            std::vector<std::string>{"CN=SG1,CN=S2,CN=Services,DC=x"});
  EXPECT_EQ(fake.searches.size(), 2u);
  // Another attribute, or a base no answer named, goes to the server.
  std::vector<LdapEntry> entries;
  (void)ahead.Search(StrListRequest("CN=S2,CN=Services,DC=x", kGroupFilter, "name"), &entries);
  EXPECT_EQ(
      ahead.Search(StrListRequest("CN=S9,CN=Services,DC=x", kGroupFilter, "distinguishedName"),
                   &entries),
      32);
  EXPECT_EQ(fake.searches.size(), 4u);
}

TEST_F(SearchesAheadTest, ASearchThatFailedAheadIsAskedAgain) {
  const LdapSearchRequest servers = StrListRequest(kBase, kServerFilter, "distinguishedName");
  fake.searchResult = 51;
  ahead.Send(servers);
  fake.searchResult = 0;
  EXPECT_EQ(Dns(servers).size(), 2u);
  EXPECT_EQ(fake.searches.size(), 2u);
}

}  // namespace
}  // namespace varnel
