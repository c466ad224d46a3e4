#include "exchange/update_recipient.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "diag/reporter.h"
#include "exchange/exchange_attributes.h"
#include "exchange/object_plan.h"
#include "exchange/quota.h"
#include "ldap/attribute_modification.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// Every line of the code under test goes through this reporter.
Reporter reporter_{std::cout, std::cerr};

using Op = LdapModification::Op;
using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

const char kDn[] = "CN=Mailbox User,OU=Staff,DC=example,DC=com";
const std::vector<std::string> kGal = {"CN=Default Global Address List,CN=All Global Address Lists",
                                       "CN=All Users,CN=All Address Lists"};

// A recipient that holds address-list memberships and two of the three limits.
Attributes Recipient() {
  return {{"objectClass", {"top", "person", "user"}},
          {"homeMDB", {"CN=DB1"}},
          {"showInAddressBook", kGal},
          {"mDBUseDefaults", {"TRUE"}},
          {"mdbstoragequota", {"51200"}},
          {"mDBOverQuotaLimit", {"102400"}}};
}

// The update of one object as the loop makes it: planned, then sent.
int UpdateRecipient(LdapConnection& ldap, const std::string& dn, const UpdateOptions& options) {
  ObjectPlan plan{dn, {}, ObjectPlan::Writer::kLdap};
  Outcome outcome = PlanUpdate(reporter_, ldap, dn, options, &plan.mods);
  if (outcome.ok()) outcome = SendPlan(reporter_, ldap, plan);
  return outcome.code();
}

// Removals of what the object holds of `names`, in a request of their own.
void ClearDNAttributes(LdapConnection& ldap, const std::string& dn,
                       const std::vector<std::string>& names) {
  ObjectPlan plan{dn, {}, ObjectPlan::Writer::kLdap};
  if (PlanClear(reporter_, ldap, dn, names, false, &plan.mods).ok())
    SendPlan(reporter_, ldap, plan);
}

UpdateOptions Quota(const std::string& text) {
  UpdateOptions options;
  options.quota = text;
  return options;
}

// Modifications as "op type=v1|v2" texts, for compact comparisons.
std::vector<std::string> Describe(const std::vector<LdapModification>& mods) {
  std::vector<std::string> texts;
  for (const LdapModification& mod : mods) {
    std::string text = (mod.op == Op::kDelete ? "delete " : "replace ") + mod.type;
    for (size_t i = 0; i < mod.values.size(); ++i) text += (i == 0 ? "=" : "|") + mod.values[i];
    texts.push_back(text);
  }
  return texts;
}

// An entry's attributes keyed by lower-case name, so that the order in which
// the fake stores them does not matter.
std::map<std::string, std::vector<std::string>> State(const testing::FakeLdapConnection& ldap) {
  std::map<std::string, std::vector<std::string>> state;
  const LdapEntry* entry = ldap.FindEntry(kDn);
  if (entry == nullptr) return state;
  for (const LdapAttribute& attribute : entry->attributes)
    state[LowerCase(attribute.name)] = attribute.values;
  return state;
}

class UpdateRecipientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reporter_.Configure({});
    ldap_.AddEntry(kDn, Recipient());
  }
  void TearDown() override { reporter_.Configure({}); }

  int Update(const UpdateOptions& options) {
    CaptureStdout();
    CaptureStderr();
    int rc = UpdateRecipient(ldap_, kDn, options);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return rc;
  }

  // The single request that the last update sent.
  std::vector<std::string> OnlyRequest() const {
    if (ldap_.modifies.size() != 1) {
      ADD_FAILURE() << ldap_.modifies.size() << " requests";
      return {};
    }
    EXPECT_EQ(ldap_.modifies[0].dn, kDn);
    return Describe(ldap_.modifies[0].mods);
  }

  testing::FakeLdapConnection ldap_;
  std::string out_;
  std::string err_;
};

TEST_F(UpdateRecipientTest, FullQuotaReplacesTheLimitsWithoutARead) {
  EXPECT_EQ(Update(Quota("100:200:300")), 0);
  EXPECT_EQ(OnlyRequest(),
            (std::vector<std::string>{
                "replace mDBUseDefaults=FALSE", "replace mDBStorageQuota=102400",
                "replace mDBOverQuotaLimit=204800", "replace mDBOverHardQuotaLimit=307200"}));
  EXPECT_TRUE(ldap_.searches.empty());
  EXPECT_EQ(ldap_.Value(kDn, "mDBStorageQuota"), "102400");
  EXPECT_EQ(ldap_.Value(kDn, "mDBOverHardQuotaLimit"), "307200");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");
}

TEST_F(UpdateRecipientTest, DefaultsRemoveOnlyTheLimitsTheObjectHolds) {
  for (const char* text : {"::", "-1:-1:-1"}) {
    ldap_ = testing::FakeLdapConnection();
    ldap_.AddEntry(kDn, Recipient());
    EXPECT_EQ(Update(Quota(text)), 0) << text;
    EXPECT_EQ(OnlyRequest(),
              (std::vector<std::string>{"delete mDBStorageQuota", "delete mDBOverQuotaLimit",
                                        "replace mDBUseDefaults=TRUE"}))
        << text;
    ASSERT_EQ(ldap_.searches.size(), 1u);
    EXPECT_TRUE(ldap_.searches[0].attributesOnly);
    EXPECT_FALSE(ldap_.Has(kDn, "mDBStorageQuota"));
    EXPECT_FALSE(ldap_.Has(kDn, "mDBOverQuotaLimit"));
    EXPECT_EQ(ldap_.Value(kDn, "mDBUseDefaults"), "TRUE");
  }
}

TEST_F(UpdateRecipientTest, PartialQuotaRemovesTheLimitsItLeavesUnset) {
  EXPECT_EQ(Update(Quota("::500")), 0);
  EXPECT_EQ(OnlyRequest(),
            (std::vector<std::string>{"delete mDBStorageQuota", "delete mDBOverQuotaLimit",
                                      "replace mDBUseDefaults=FALSE",
                                      "replace mDBOverHardQuotaLimit=512000"}));
  EXPECT_FALSE(ldap_.Has(kDn, "mDBStorageQuota"));
  EXPECT_FALSE(ldap_.Has(kDn, "mDBOverQuotaLimit"));
  EXPECT_EQ(ldap_.Value(kDn, "mDBOverHardQuotaLimit"), "512000");
}

TEST_F(UpdateRecipientTest, NothingToDoSendsNothing) {
  EXPECT_EQ(Update(UpdateOptions()), 0);
  EXPECT_TRUE(ldap_.modifies.empty());
  EXPECT_TRUE(ldap_.searches.empty());
  EXPECT_EQ(out_, "");
}

TEST_F(UpdateRecipientTest, ShowAloneKeepsAddressListsAndReadsNothing) {
  UpdateOptions options;
  options.unhideFromAddressLists = true;
  EXPECT_EQ(Update(options), 0);
  EXPECT_EQ(OnlyRequest(), std::vector<std::string>{"replace msExchHideFromAddressLists=FALSE"});
  EXPECT_TRUE(ldap_.searches.empty());
  EXPECT_TRUE(ldap_.Has(kDn, "showInAddressBook"));
}

TEST_F(UpdateRecipientTest, RemovesNothingTheObjectLacks) {
  // Without the held-attribute check the request would carry deletes of
  // missing attributes, which the server (and the fake) refuses.
  ldap_ = testing::FakeLdapConnection();
  ldap_.AddEntry(kDn, {{"objectClass", {"top", "user"}}, {"homeMDB", {"CN=DB1"}}});
  UpdateOptions options = Quota("::");
  options.hideFromAddressLists = true;
  EXPECT_EQ(Update(options), 0);
  EXPECT_EQ(OnlyRequest(), (std::vector<std::string>{"replace msExchHideFromAddressLists=TRUE",
                                                     "replace mDBUseDefaults=TRUE"}));
  EXPECT_EQ(err_, "");
}

TEST_F(UpdateRecipientTest, RefusedRequestLeavesTheObjectUntouched) {
  const auto before = State(ldap_);
  ldap_.modifyResult = 50;
  UpdateOptions options = Quota("::500");
  options.hideFromAddressLists = true;
  EXPECT_EQ(Update(options), 50);
  EXPECT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(err_, ": [] Error 0x32 (50) - Insufficient access\n");
  EXPECT_EQ(State(ldap_), before);

  reporter_.Configure({.quiet = true, .debug = false});
  EXPECT_EQ(Update(options), 50);
  EXPECT_EQ(err_, "");
  EXPECT_EQ(State(ldap_), before);
}

TEST_F(UpdateRecipientTest, FailedReadReturnsItsCodeWithoutModifying) {
  ldap_.searchResult = 50;
  UpdateOptions options;
  options.hideFromAddressLists = true;
  EXPECT_EQ(Update(options), 50);
  EXPECT_TRUE(ldap_.modifies.empty());
  EXPECT_EQ(err_, "LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: Insufficient access\n\n");

  ldap_.searchResult = 0;
  CaptureStderr();
  EXPECT_EQ(UpdateRecipient(ldap_, "CN=Gone,DC=example,DC=com", Quota("::")), 32);
  GetCapturedStderr();
  EXPECT_TRUE(ldap_.modifies.empty());
}

TEST_F(UpdateRecipientTest, DebugTracesTheReadAndTheSingleRequest) {
  reporter_.Configure({.quiet = false, .debug = true});
  UpdateOptions options = Quota("::500");
  options.hideFromAddressLists = true;
  EXPECT_EQ(Update(options), 0);
  EXPECT_EQ(out_, std::string("\nDEBUG: Retrieving DN attributes...") + kDn + "\nDEBUG: Setting " +
                      kDn +
                      "\nDEBUG: Clear - showInAddressBook\n"
                      "DEBUG: Clear - mDBStorageQuota\n"
                      "DEBUG: Clear - mDBOverQuotaLimit\n"
                      "DEBUG: Set - msExchHideFromAddressLists to TRUE\n"
                      "DEBUG: Set - mDBUseDefaults to FALSE\n"
                      "DEBUG: Set - mDBOverHardQuotaLimit to 512000\n"
                      "DEBUG: modcnt=6\n"
                      "DEBUG: uErr=0\n");
}

// The single request leaves the object as the separate removals followed by
// the final modify would leave it when they all succeed.
TEST_F(UpdateRecipientTest, EndsWhereTheSeparateRequestsWouldEnd) {
  const std::vector<Attributes> objects = {
      Recipient(),
      {{"objectClass", {"user"}}},
      {{"objectClass", {"user"}},
       {"MDBOVERHARDQUOTALIMIT", {"1"}},
       {"msExchHideFromAddressLists", {"TRUE"}}},
  };
  const std::vector<std::string> quotas = {"",       "::",   "::500", "100:200:300",
                                           ":10:20", "5:5:", "0:0:0"};
  for (const Attributes& object : objects) {
    for (int flags = 0; flags < 4; ++flags) {
      for (const std::string& quota : quotas) {
        UpdateOptions options;
        options.hideFromAddressLists = (flags & 1) != 0;
        options.unhideFromAddressLists = (flags & 2) != 0;
        if (!quota.empty()) options.quota = quota;

        testing::FakeLdapConnection single;
        single.AddEntry(kDn, object);
        testing::FakeLdapConnection separate;
        separate.AddEntry(kDn, object);

        std::vector<std::string> list;
        CaptureStdout();
        CaptureStderr();
        EXPECT_EQ(UpdateRecipient(single, kDn, options), 0);
        if (options.hideFromAddressLists) {
          list.push_back("msExchHideFromAddressLists:TRUE");
          ClearDNAttributes(separate, kDn, {"showInAddressBook"});
        }
        if (options.unhideFromAddressLists) list.push_back("msExchHideFromAddressLists:FALSE");
        if (options.quota) {
          std::optional<QuotaFigures> figures = ParseQuota(*options.quota);
          if (figures) {
            for (const std::string& setting : QuotaSettings(*figures)) list.push_back(setting);
            ClearDNAttributes(separate, kDn,
                              {"mDBStorageQuota", "mDBOverQuotaLimit", "mDBOverHardQuotaLimit"});
          }
        }
        std::vector<LdapModification> mods;
        for (const std::string& text : list) mods.push_back(ParseModificationText(text));
        if (!mods.empty()) separate.Modify(kDn, mods);
        GetCapturedStdout();
        EXPECT_EQ(GetCapturedStderr(), "");

        EXPECT_EQ(State(single), State(separate)) << "flags " << flags << " quota " << quota;
        EXPECT_LE(single.modifies.size(), 1u);
      }
    }
  }
}

}  // namespace
}  // namespace varnel
