#include "exchange/exchange_attributes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "diag/reporter.h"
#include "exchange/object_plan.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

// Every line of the code under test goes through this reporter.
Reporter reporter_{std::cout, std::cerr};

using Op = LdapModification::Op;
const char kDn[] = "CN=Mailbox User,OU=Staff,DC=example,DC=com";

TEST(ExchangeAttributeListTest, HoldsTheNinetyOneNamesInOrder) {
  const std::vector<std::string>& list = ExchangeAttributeList();
  ASSERT_EQ(list.size(), 91u);
  EXPECT_EQ(list.front(), "altRecipient");
  EXPECT_EQ(list.back(), "reportToOriginator");
  EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), 91u) << "duplicate name";
  EXPECT_EQ(&list, &ExchangeAttributeList()) << "one process-wide list";
  // The directory's own spelling goes on the wire.
  EXPECT_EQ(list[7], "dLMemDefault");
  EXPECT_EQ(list[27], "mAPIRecipient");
  EXPECT_EQ(list[55], "msExchHideFromAddressLists");
  EXPECT_EQ(list[80], "mDBOverHardQuotaLimit");

  // Extension attributes in text order, right after unmergedAtts.
  auto first = std::find(list.begin(), list.end(), "extensionAttribute1");
  ASSERT_NE(first, list.end());
  ASSERT_GE(first - list.begin(), 1);
  EXPECT_EQ(*(first - 1), "unmergedAtts");
  const std::vector<std::string> expected = {"extensionAttribute1",  "extensionAttribute10",
                                             "extensionAttribute11", "extensionAttribute12",
                                             "extensionAttribute13", "extensionAttribute14",
                                             "extensionAttribute15", "extensionAttribute2",
                                             "extensionAttribute3",  "extensionAttribute4",
                                             "extensionAttribute5",  "extensionAttribute6",
                                             "extensionAttribute7",  "extensionAttribute8",
                                             "extensionAttribute9",  "autoReply"};
  ASSERT_LE(static_cast<size_t>(first - list.begin()) + expected.size(), list.size());
  EXPECT_EQ(std::vector<std::string>(first, first + expected.size()), expected);
}

class ClearDNAttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reporter_.Configure({});
    // The server reports some names in another letter case than the list.
    ldap_.AddEntry(kDn, {{"objectClass", {"top", "person", "user"}},
                         {"cn", {"Mailbox User"}},
                         {"proxyAddresses", {"SMTP:u@example.com", "X400:c=us"}},
                         {"MAIL", {"u@example.com"}},
                         {"homemdb", {"CN=DB1"}},
                         {"mailNickname", {"u"}}});
  }
  void TearDown() override { reporter_.Configure({}); }

  int Clear(const std::vector<std::string>& list, const std::string& dn = kDn) {
    CaptureStdout();
    CaptureStderr();
    ObjectPlan plan{dn, {}, ObjectPlan::Writer::kLdap};
    Outcome outcome = PlanClear(reporter_, ldap_, dn, list, false, &plan.mods);
    if (outcome.ok()) outcome = SendPlan(reporter_, ldap_, plan);
    const int rc = outcome.code();
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return rc;
  }

  testing::FakeLdapConnection ldap_;
  std::string out_;
  std::string err_;
};

TEST_F(ClearDNAttributesTest, ReadsNamesOnlyWithOneBaseSearch) {
  std::vector<std::string> names{"kept"};
  EXPECT_TRUE(LdapGetAttrNames(reporter_, ldap_, kDn, &names).ok());
  ASSERT_EQ(ldap_.searches.size(), 1u);
  const LdapSearchRequest& request = ldap_.searches[0];
  EXPECT_EQ(request.base, kDn);
  EXPECT_EQ(request.scope, LdapScope::kBase);
  EXPECT_EQ(request.filter, "(objectclass=*)");
  EXPECT_EQ(request.attributes, std::vector<std::string>{"*"});
  EXPECT_TRUE(request.attributesOnly);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "objectClass", "cn", "proxyAddresses", "MAIL",
                                             "homemdb", "mailNickname", "distinguishedName"}));
}

TEST_F(ClearDNAttributesTest, RemovesOnlyHeldAttributesInListOrderAndSpelling) {
  EXPECT_EQ(Clear(ExchangeAttributeList()), 0);
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  std::vector<std::string> types;
  for (const LdapModification& mod : ldap_.modifies[0].mods) {
    EXPECT_EQ(mod.op, Op::kDelete) << mod.type;
    EXPECT_TRUE(mod.values.empty()) << mod.type;
    types.push_back(mod.type);
  }
  EXPECT_EQ(types, (std::vector<std::string>{"mail", "mailNickname", "homeMDB", "proxyAddresses"}));
  EXPECT_FALSE(ldap_.Has(kDn, "mail"));
  EXPECT_FALSE(ldap_.Has(kDn, "proxyAddresses"));
  EXPECT_EQ(ldap_.Value(kDn, "cn"), "Mailbox User");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");

  // Nothing left to remove the second time: a read, no request.
  EXPECT_EQ(Clear(ExchangeAttributeList()), 0);
  EXPECT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(ldap_.searches.size(), 2u);
}

TEST_F(ClearDNAttributesTest, RepeatedNameGivesTwoRemovals) {
  // Removing an attribute twice in one request fails at the server (the fake
  // answers noSuchAttribute), and nothing is removed.
  EXPECT_EQ(Clear({"mail", "MAIL"}), 16);
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(ldap_.modifies[0].mods.size(), 2u);
  EXPECT_TRUE(ldap_.Has(kDn, "mail"));
}

TEST_F(ClearDNAttributesTest, DebugTracesReadRemovalsAndResult) {
  reporter_.Configure({.quiet = false, .debug = true});
  EXPECT_EQ(Clear({"targetAddress", "proxyAddresses"}), 0);
  EXPECT_EQ(out_, std::string("\nDEBUG: Retrieving DN attributes...") + kDn +
                      "\n\nDEBUG: Clearing DN: " + kDn +
                      "\nDEBUG: Clear - proxyAddresses\nDEBUG: modcnt=1\nDEBUG: uErr=0\n");

  EXPECT_EQ(Clear({"targetAddress"}), 0);
  EXPECT_EQ(out_, std::string("\nDEBUG: Retrieving DN attributes...") + kDn +
                      "\n\nDEBUG: Clearing DN: " + kDn + "\nDEBUG: modcnt=0\n");
}

TEST_F(ClearDNAttributesTest, RefusedModifyPrintsErrorLineUnlessQuiet) {
  ldap_.modifyResult = 50;
  ldap_.diagnostic = "00000005: SecErr";
  EXPECT_EQ(Clear({"mail"}), 50);
  EXPECT_EQ(err_, ": [] Error 0x32 (50) - Insufficient access\n");
  EXPECT_EQ(out_, "");
  EXPECT_TRUE(ldap_.Has(kDn, "mail"));

  reporter_.Configure({.quiet = true, .debug = false});
  EXPECT_EQ(Clear({"mail"}), 50);
  EXPECT_EQ(err_, "");
}

TEST_F(ClearDNAttributesTest, MixedModeMarksLegacyDnInTheSameRequest) {
  ldap_.AddEntry("CN=Root,DC=example,DC=com", {{"objectClass", {"domainDNS"}}});
  std::vector<LdapModification> mods;
  ASSERT_TRUE(PlanClear(reporter_, ldap_, kDn, {"mail", "legacyExchangeDN"}, true, &mods).ok());
  ASSERT_EQ(mods.size(), 2u);
  EXPECT_EQ(mods[0].op, Op::kDelete);
  EXPECT_EQ(mods[1].type, "legacyExchangeDN");
  EXPECT_EQ(mods[1].values, std::vector<std::string>{"ADCDisabledMail"});
  EXPECT_TRUE(ldap_.modifies.empty());  // planning writes nothing
}

TEST_F(ClearDNAttributesTest, FailedReadReturnsItsCodeAndSendsNothing) {
  const std::string missing = "CN=Nobody,DC=example,DC=com";
  EXPECT_EQ(Clear(ExchangeAttributeList(), missing), 32);
  EXPECT_TRUE(ldap_.modifies.empty());
  EXPECT_EQ(err_, "LDAP_SEARCH_S: 0x20\nLDAP_SEARCH_S: No such object\n\n");

  ldap_.searchResult = 0x51;
  std::vector<std::string> names{"kept"};
  CaptureStderr();
  EXPECT_EQ(LdapGetAttrNames(reporter_, ldap_, kDn, &names).code(), 0x51);
  EXPECT_EQ(GetCapturedStderr(),
            "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n");
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace varnel
