#include "directory/home_mdb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/item_lines.h"
#include "exchange/mail_database.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

const std::string kBase = "CN=Microsoft Exchange,CN=Services,CN=Configuration,DC=example,DC=com";
const std::string kServers = "CN=Servers,CN=First Administrative Group,CN=Org," + kBase;
const std::string kServer1 = "CN=SERVER1," + kServers;
const std::string kSg1 = "CN=SG1,CN=InformationStore," + kServer1;
const std::string kDb1 = "CN=DB1," + kSg1;
const std::string kUser = "CN=User One,CN=Users,DC=example,DC=com";

class ResolveHomeMdbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ldap_.AddEntry(kBase, {{"objectCategory", {"msExchConfigurationContainer"}}});
    AddNamed(kServer1, "msExchExchangeServer", "SERVER1");
    AddNamed(kSg1, "msExchStorageGroup", "SG1");
    AddNamed(kDb1, "msExchPrivateMDB", "DB1");
    AddNamed("CN=Public," + kSg1, "msExchPublicMDB", "Public");
    AddNamed("CN=DB:X," + kSg1, "msExchPrivateMDB", "DB:X");
    // Names with filter syntax characters; the pattern-like neighbour comes
    // first so that an unescaped filter would pick it.
    AddNamed("CN=Mailbox Store SRV1," + kSg1, "msExchPrivateMDB", "Mailbox Store SRV1");
    AddNamed("CN=Mailbox Store (SRV1)," + kSg1, "msExchPrivateMDB", "Mailbox Store (SRV1)");
    AddNamed("CN=ab," + kServers, "msExchExchangeServer", "ab");
    AddNamed("CN=a*," + kServers, "msExchExchangeServer", "a*");
    AddNamed("CN=Storage Group (1),CN=InformationStore,CN=a*," + kServers, "msExchStorageGroup",
             "Storage Group (1)");
    AddNamed("CN=x\\5cy,CN=Storage Group (1),CN=InformationStore,CN=a*," + kServers,
             "msExchPrivateMDB", "x\\y");
    ldap_.AddEntry("CN=Users,DC=example,DC=com", {});
    AddNamed(kUser, "person", "User One");
  }
  void AddNamed(const std::string& dn, const std::string& category, const std::string& name) {
    ldap_.AddEntry(
        dn, {{"objectCategory", {category}}, {"objectClass", {"top", category}}, {"name", {name}}});
  }

  std::string Resolve(const std::string& text, const std::string& delimiter = ":") {
    ItemLines lines;
    lines.quiet = quiet_;
    std::string dn = "left from before";
    const Outcome resolved = ResolveHomeMDB(lines, ldap_, kBase, text, delimiter, &dn);
    EXPECT_EQ(resolved.ok(), !dn.empty()) << text;
    out_ = lines.out();
    err_ = lines.err();
    return dn;
  }

  // The bases of the searches made, in order: what was looked below.
  std::vector<std::string> Bases() const {
    std::vector<std::string> bases;
    for (const LdapSearchRequest& request : ldap_.searches) bases.push_back(request.base);
    return bases;
  }

  testing::FakeLdapConnection ldap_;
  bool quiet_ = false;
  std::string out_;
  std::string err_;
};

using Strings = std::vector<std::string>;

TEST_F(ResolveHomeMdbTest, ShortFormRunsThreeNarrowingSearches) {
  EXPECT_EQ(Resolve("SERVER1:SG1:DB1"), kDb1);
  EXPECT_EQ(out_,
            "\nResolving homeMDB [SERVER1:SG1:DB1]...\n"
            "Looking for Server...\nLooking for Storage Group...\nLooking for Mail Database...\n");
  EXPECT_EQ(err_, "");
  // Each search is made below what the one before it found.
  ASSERT_EQ(Bases(), (Strings{kBase, kServer1, kSg1}));
  EXPECT_EQ(ldap_.searches[0].filter, "(&(objectcategory=msExchExchangeServer)(name=SERVER1))");
  EXPECT_EQ(ldap_.searches[1].filter, "(&(objectcategory=msExchStorageGroup)(name=SG1))");
  EXPECT_EQ(ldap_.searches[2].filter, "(&(objectcategory=msExchPrivateMDB)(name=DB1))");
  for (const LdapSearchRequest& request : ldap_.searches) {
    EXPECT_EQ(request.scope, LdapScope::kSubtree);
    EXPECT_EQ(request.attributes, std::vector<std::string>{"distinguishedName"});
  }
}

TEST_F(ResolveHomeMdbTest, QuietHidesProgressButNotErrors) {
  quiet_ = true;
  EXPECT_EQ(Resolve("SERVER1:SG1:DB1"), kDb1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Resolve("SERVER1:SG1:Nope"), "");
  EXPECT_EQ(out_, "ERROR: AD Search couldn't find DataBase: Nope\n");
  EXPECT_EQ(Resolve("CN=Nothing,DC=example,DC=com"), "");
  EXPECT_EQ(out_, "ERROR: Invalid HomeMDB [CN=Nothing,DC=example,DC=com]\n");
}

TEST_F(ResolveHomeMdbTest, EachMissingNameStopsTheSearches) {
  EXPECT_EQ(Resolve("NOSRV:SG1:DB1"), "");
  EXPECT_EQ(out_,
            "\nResolving homeMDB [NOSRV:SG1:DB1]...\nLooking for Server...\n"
            "ERROR: AD Search couldn't find Exchange Server: NOSRV\n");
  EXPECT_EQ(Bases(), Strings{kBase}) << "nothing is looked for below a server that is not there";

  ldap_.searches.clear();
  EXPECT_EQ(Resolve("SERVER1:NoSG:DB1"), "");
  EXPECT_EQ(out_,
            "\nResolving homeMDB [SERVER1:NoSG:DB1]...\nLooking for Server...\n"
            "Looking for Storage Group...\nERROR: AD Search couldn't find Storage Group: NoSG\n");
  EXPECT_EQ(Bases(), (Strings{kBase, kServer1})) << "no database is looked for without its group";

  // A public database of that name is not a mail database for mailboxes.
  EXPECT_EQ(Resolve("SERVER1:SG1:Public"), "");
  EXPECT_NE(out_.find("ERROR: AD Search couldn't find DataBase: Public\n"), std::string::npos);
}

TEST_F(ResolveHomeMdbTest, FailedSearchCountsAsNotFound) {
  ldap_.searchResult = 0x51;
  EXPECT_EQ(Resolve("SERVER1:SG1:DB1"), "");
  EXPECT_EQ(err_, "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n");
  EXPECT_NE(out_.find("ERROR: AD Search couldn't find Exchange Server: SERVER1\n"),
            std::string::npos);
}

TEST_F(ResolveHomeMdbTest, FieldsFollowTheDelimiter) {
  // Four fields: the third and fourth name the database together.
  EXPECT_EQ(Resolve("SERVER1:SG1:DB:X"), "CN=DB:X," + kSg1);
  EXPECT_EQ(ldap_.searches.back().filter, "(&(objectcategory=msExchPrivateMDB)(name=DB:X))");

  EXPECT_EQ(Resolve("SERVER1/SG1/DB1", "/"), kDb1);
  EXPECT_EQ(out_.rfind("\nResolving homeMDB [SERVER1/SG1/DB1]...\n", 0), 0u);

  // With "/" as the delimiter a colon-separated text is a DN.
  ldap_.searches.clear();
  EXPECT_EQ(Resolve("SERVER1:SG1:DB1", "/"), "");
  EXPECT_EQ(out_, "Looking for specified homeMDB...\nERROR: Invalid HomeMDB [SERVER1:SG1:DB1]\n");
  EXPECT_EQ(Bases(), Strings{"SERVER1:SG1:DB1"}) << "read as the DN it is";
}

TEST_F(ResolveHomeMdbTest, TwoFieldsOrALeadingDelimiterAreTheFullForm) {
  EXPECT_EQ(Resolve(kDb1 + ":SG1"), kDb1);
  EXPECT_EQ(Bases(), Strings{kDb1}) << "the first field alone is the DN";

  EXPECT_EQ(Resolve(kUser + ":SG1"), "");
  EXPECT_EQ(out_, "Looking for specified homeMDB...\nERROR: Invalid HomeMDB [" + kUser + "]\n");

  // An empty DN names nothing and is not searched for.
  ldap_.searches.clear();
  EXPECT_EQ(Resolve(":SG1:DB1"), "");
  EXPECT_EQ(out_, "Looking for specified homeMDB...\nERROR: Invalid HomeMDB []\n");
  EXPECT_EQ(Bases(), Strings{}) << "an empty DN is not searched for";
}

TEST_F(ResolveHomeMdbTest, FullFormAcceptsOnlyAMailDatabaseItself) {
  EXPECT_EQ(Resolve(kDb1), kDb1);
  EXPECT_EQ(out_, "Looking for specified homeMDB...\n");
  ASSERT_EQ(Bases(), Strings{kDb1}) << "the DN itself, read once";
  EXPECT_EQ(ldap_.searches[0].filter, kMailDatabaseFilter);
  EXPECT_EQ(ldap_.searches[0].scope, LdapScope::kBase);

  // Returned as typed, not as stored.
  const std::string lowerDb = "cn=db1,cn=sg1,cn=informationstore,cn=server1," + kServers;
  EXPECT_EQ(Resolve(lowerDb), lowerDb);
  EXPECT_EQ(out_, "Looking for specified homeMDB...\n");

  // A storage group holds databases but is none.
  const std::string lowerSg = "cn=sg1,cn=informationstore,cn=server1," + kServers;
  EXPECT_EQ(Resolve(lowerSg), "");
  EXPECT_EQ(out_, "Looking for specified homeMDB...\nERROR: Invalid HomeMDB [" + lowerSg + "]\n");

  EXPECT_EQ(Resolve(kUser), "");
  EXPECT_EQ(out_, "Looking for specified homeMDB...\nERROR: Invalid HomeMDB [" + kUser + "]\n");

  EXPECT_EQ(Resolve("CN=Gone,DC=example,DC=com"), "");
  EXPECT_EQ(
      out_,
      "Looking for specified homeMDB...\nERROR: Invalid HomeMDB [CN=Gone,DC=example,DC=com]\n");
  EXPECT_EQ(err_, "LDAP_SEARCH_S: 0x20\nLDAP_SEARCH_S: No such object\n\n");
}

TEST_F(ResolveHomeMdbTest, NamesWithFilterCharactersMatchOnlyThemselves) {
  EXPECT_EQ(Resolve("SERVER1:SG1:Mailbox Store (SRV1)"), "CN=Mailbox Store (SRV1)," + kSg1);
  EXPECT_EQ(ldap_.searches.back().filter,
            "(&(objectcategory=msExchPrivateMDB)(name=Mailbox Store \\28SRV1\\29))");
  EXPECT_EQ(out_.rfind("\nResolving homeMDB [SERVER1:SG1:Mailbox Store (SRV1)]...\n", 0), 0u);

  ldap_.searches.clear();
  const std::string sg = "CN=Storage Group (1),CN=InformationStore,CN=a*," + kServers;
  EXPECT_EQ(Resolve("a*:Storage Group (1):x\\y"), "CN=x\\5cy," + sg);
  ASSERT_EQ(ldap_.searches.size(), 3u);
  EXPECT_EQ(ldap_.searches[0].filter, "(&(objectcategory=msExchExchangeServer)(name=a\\2a))");
  EXPECT_EQ(ldap_.searches[1].base, "CN=a*," + kServers);
  EXPECT_EQ(ldap_.searches[2].filter, "(&(objectcategory=msExchPrivateMDB)(name=x\\5cy))");

  // The messages show the names as typed.
  EXPECT_EQ(Resolve("a*:Storage Group (2):x"), "");
  EXPECT_NE(out_.find("ERROR: AD Search couldn't find Storage Group: Storage Group (2)\n"),
            std::string::npos);
}

TEST_F(ResolveHomeMdbTest, FirstOfSeveralMatchesIsUsed) {
  const std::string other = "CN=SERVER1,CN=Servers,CN=Second Group,CN=Org," + kBase;
  ldap_.AddEntry(other, {{"objectCategory", {"msExchExchangeServer"}}, {"name", {"SERVER1"}}});
  EXPECT_EQ(Resolve("SERVER1:SG1:DB1"), kDb1);
  EXPECT_EQ(ldap_.searches[1].base, kServer1);
  EXPECT_EQ(out_.find("WARN"), std::string::npos);
}

}  // namespace
}  // namespace varnel
