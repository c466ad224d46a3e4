// RootDSE gathering and the two search helpers against the in-memory fake.
#include <gtest/gtest.h>

#include "diag/item_lines.h"
#include "ldap/root_dse.h"
#include "ldap/search_helpers.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

using varnel::testing::FakeLdapConnection;

TEST(RootDseTest, FirstValuesCapabilitiesAndContexts) {
  testing::CapturedReporter reporter;
  FakeLdapConnection session;
  session.AddEntry(
      "", {{"dnsHostName", {"dc1.varnel.test", "dc2.varnel.test"}},
           {"configurationNamingContext", {"CN=Configuration,DC=varnel,DC=test"}},
           {"namingContexts", {"DC=varnel,DC=test", "CN=Configuration,DC=varnel,DC=test"}},
           {"supportedCapabilities",
            {"1.2.840.113556.1.4.800", "1.2.840.113556.1.4.1791", "1.2.840.113556.1.4.800"}},
           {"highestCommittedUsn", {"4102"}}});
  RootDseInfo info;
  info.isAdam = true;  // stale values must be reset
  info.serverName = "stale";
  ReadRootDse(reporter, info, session);
  EXPECT_TRUE(info.gathered);
  EXPECT_EQ(info.dnsHostName, "dc1.varnel.test");
  EXPECT_EQ(info.configurationNamingContext, "CN=Configuration,DC=varnel,DC=test");
  EXPECT_EQ(info.highestCommittedUsn, "4102");
  EXPECT_EQ(info.serverName, "");
  EXPECT_EQ(info.namingContextCount, 2);
  EXPECT_EQ(info.namingContexts.size(), 2u);
  EXPECT_EQ(info.supportedCapabilities.size(), 2u);
  EXPECT_TRUE(info.isActiveDirectory);
  EXPECT_TRUE(info.hasLdapInteg);
  EXPECT_FALSE(info.isActiveDirectoryV51);
  EXPECT_FALSE(info.isAdam);
  ASSERT_EQ(session.searches.size(), 1u);
  EXPECT_EQ(session.searches[0].base, "");
  EXPECT_EQ(session.searches[0].filter, "(objectClass=*)");
  EXPECT_FALSE(session.searches[0].attributes.has_value());
}

TEST(RootDseTest, MissingAttributesStillGathered) {
  testing::CapturedReporter reporter;
  FakeLdapConnection session;
  session.AddEntry("", {});
  RootDseInfo info;
  ReadRootDse(reporter, info, session);
  EXPECT_TRUE(info.gathered);
  EXPECT_EQ(info.dnsHostName, "");
  EXPECT_TRUE(info.supportedCapabilities.empty());
  EXPECT_FALSE(info.isActiveDirectory);
}

TEST(RootDseTest, FailedSearchPrintsTraceAndLeavesNotGathered) {
  testing::CapturedReporter reporter;
  FakeLdapConnection session;
  session.searchResult = 0x51;
  RootDseInfo info;
  info.gathered = true;
  ReadRootDse(reporter, info, session);
  EXPECT_EQ(reporter.TakeErr(),
            "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n");
  EXPECT_FALSE(info.gathered);
}

class SearchHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.AddEntry("DC=x", {});
    session.AddEntry("CN=A,DC=x", {{"proxyAddresses", {"SMTP:a@x", "smtp:b@x"}}, {"name", {"A"}}});
    session.AddEntry("CN=B,DC=x", {{"name", {"B"}}});
    session.AddEntry("CN=C,DC=x", {{"proxyAddresses", {"SMTP:c@x"}}});
  }
  FakeLdapConnection session;
  ItemLines lines;
};

TEST_F(SearchHelpersTest, FirstValuePerEntryAppendedInServerOrder) {
  std::vector<std::string> list{"kept"};
  EXPECT_EQ(
      LdapGetStrList(lines, session, "DC=x", "(proxyAddresses=*)", "proxyAddresses", list).code(),
      0);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "SMTP:a@x", "SMTP:c@x"}));
  EXPECT_EQ(session.searches.back().scope, LdapScope::kSubtree);
  EXPECT_EQ(*session.searches.back().attributes, std::vector<std::string>{"proxyAddresses"});
}

TEST_F(SearchHelpersTest, NoMatchIsSuccessWithNothingAppended) {
  std::vector<std::string> list;
  EXPECT_EQ(LdapGetStrList(lines, session, "DC=x", "(name=zz)", "name", list).code(), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(SearchHelpersTest, FailedSearchLeavesListAndAddsTrace) {
  session.searchHook = [](const LdapSearchRequest&, std::vector<LdapEntry>* entries, int* rc) {
    entries->push_back({"CN=partial", {{"name", {"p"}}}});
    *rc = 4;
    return true;
  };
  std::vector<std::string> list;
  EXPECT_EQ(LdapGetStrList(lines, session, "DC=x", "(name=*)", "name", list).code(), 4);
  EXPECT_EQ(lines.err(), "LDAP_SEARCH_S: 0x4\nLDAP_SEARCH_S: Size limit exceeded\n\n");
  EXPECT_TRUE(list.empty());
}

TEST_F(SearchHelpersTest, DebugTrace) {
  lines.debug = true;
  std::vector<std::string> list;
  LdapGetStrList(lines, session, "DC=x", "name=B", "name", list);
  EXPECT_EQ(lines.out(),
            "DEBUG: LdapGetStrList:\nDEBUG       Base  : DC=x\nDEBUG       Filter: name=B\n"
            "DEBUG       Attrib: name\nDEBUG: Count: 1\n");
}

}  // namespace
}  // namespace varnel
