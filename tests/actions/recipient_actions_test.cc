// The -cr, -move and -me plans as functions of the object as read and the
// run's facts, with a fixed GUID source so a plan is exact.
#include <gtest/gtest.h>

#include "actions/plan_support.h"
#include "exchange/exchange_attributes.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

const char kDn[] = "CN=Ann Lee,OU=Staff,DC=x";
const char kDb[] = "CN=DB1,CN=SG1,CN=SRV1,CN=Servers,CN=AG,CN=Org";
const char kServer[] = "CN=SRV1,CN=Servers,CN=AG,CN=Org";

const GuidSource kGuids = [](std::span<uint8_t> bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('a' + i);
  return true;
};

DatabaseFacts Db1(bool withMta = true) {
  DatabaseFacts facts;
  facts.home = {kDb, kServer, "/o=Org/ou=AG/cn=Configuration/cn=Servers/cn=SRV1", std::nullopt};
  if (withMta) facts.home.mtaDn = std::string("CN=Microsoft MTA,") + kServer;
  facts.adminGroupLegacyDn = "/o=Org/ou=AG";
  return facts;
}

ObjectRead User(testing::Attributes more = {}) {
  testing::Attributes attributes = {{"objectClass", {"top", "person", "user"}},
                                    {"sAMAccountName", {"ann.lee"}}};
  attributes.insert(attributes.end(), more.begin(), more.end());
  return Found(kDn, attributes);
}

ItemPlan Create(const ObjectRead& object, const DatabaseFacts* db, RunSettings settings = {}) {
  settings.action = RunAction::CreateMailbox;
  PlanFacts facts{db != nullptr ? kDb : "", db, nullptr};
  return PlanOf(*MakeAction(settings, {}, kGuids), kDn, object, facts);
}

TEST(CreateMailboxPlanTest, StagesTheMailboxAndTheRunsSettingsInOneExactPlan) {
  RunSettings settings;
  settings.update.unhideFromAddressLists = true;
  const DatabaseFacts db = Db1();
  const ItemPlan plan = Create(User(), &db, settings);
  ASSERT_TRUE(plan.outcome.ok()) << plan.err;
  EXPECT_EQ(plan.plan.writer, ObjectPlan::Writer::kDirectoryObject);
  EXPECT_EQ(
      Describe(plan.plan.mods),
      (Strings{std::string("replace homeMDB=") + kDb,
               std::string("replace homeMTA=CN=Microsoft MTA,") + kServer,
               "replace msExchHomeServerName=/o=Org/ou=AG/cn=Configuration/cn=Servers/cn=SRV1",
               "replace mailNickname=ann.lee",
               "replace legacyExchangeDN=/o=Org/ou=AG/cn=Recipients/cn=ann.lee",
               "replace mDBUseDefaults=TRUE", "replace msExchMailboxGuid=abcdefghijklmnop",
               "replace msExchHideFromAddressLists=FALSE"}));
  EXPECT_EQ(plan.out + plan.err, "");
}

TEST(CreateMailboxPlanTest, KeepsTheObjectsAliasAndLegacyDnAndNeedsNoMta) {
  const DatabaseFacts db = Db1(/*withMta=*/false);
  const ItemPlan plan =
      Create(User({{"mailNickname", {"ann"}}, {"legacyExchangeDN", {"/o=Org/cn=ann"}}}), &db);
  ASSERT_TRUE(plan.outcome.ok());
  EXPECT_EQ(
      Describe(plan.plan.mods),
      (Strings{std::string("replace homeMDB=") + kDb,
               "replace msExchHomeServerName=/o=Org/ou=AG/cn=Configuration/cn=Servers/cn=SRV1",
               "replace mDBUseDefaults=TRUE", "replace msExchMailboxGuid=abcdefghijklmnop"}));
}

TEST(CreateMailboxPlanTest, EachFailedStepHasItsLineAndCodeAndPlansNothing) {
  const DatabaseFacts db = Db1();
  DatabaseFacts unreadable = Db1();
  unreadable.homeRead = Outcome::HResult(kEAdsBadParameter);
  DatabaseFacts noGroup = Db1();
  noGroup.adminGroupRead = Outcome::HResult(kEDsNoSuchObject);
  struct Case {
    ObjectRead object;
    const DatabaseFacts* db;
    int32_t code;
    std::string out;
    std::string errStart;
  } cases[] = {
      {User(), nullptr, -1, " - No valid homeMDB value.\n", ""},
      {Missing(), &db, kEDsNoSuchObject, "", " - ERROR: (ADsGetObject) (0x80072030) "},
      {Found(kDn, {{"objectClass", {"top", "group"}}}), &db, kENoInterface,
       " - No MailBox Create function for this object type.\n", ""},
      // No recipient at all: the status every action gives such an object.
      {Found(kDn, {{"objectClass", {"top", "organizationalUnit"}}}), &db, kLdapObjectClassViolation,
       " - No MailBox Create function for this object type.\n", ""},
      {User({{"homeMDB", {kDb}}}), &db, kEObjectAlreadyExists, "",
       " - ERROR: (CreateMailBox) (0x80071392) "},
      {User(), &unreadable, kEAdsBadParameter, "adsi error\n",
       " - ERROR: (CreateMailBox) (0x80005008) E_ADS_BAD_PARAMETER"},
      {User(), &noGroup, kEDsNoSuchObject, "", " - ERROR: (CreateMailBox) (0x80072030) "},
      {Found(kDn, {{"objectClass", {"user"}}, {"cn", {"..."}}}), &db, kEAdsPropertyInvalid,
       "adsi error\n", " - ERROR: (CreateMailBox) (0x80005007) "},
  };
  for (const Case& c : cases) {
    const ItemPlan plan = Create(c.object, c.db);
    EXPECT_EQ(plan.outcome.code(), c.code) << c.out << c.errStart;
    EXPECT_TRUE(plan.plan.mods.empty());
    EXPECT_EQ(plan.out, c.out);
    EXPECT_EQ(plan.err.substr(0, c.errStart.size()), c.errStart);
  }
}

TEST(MoveMailboxPlanTest, RehomesAndDropsAnMtaTheNewServerLacks) {
  RunSettings settings = SettingsFor(RunAction::MoveMailbox);
  settings.host = "dc1:389";
  const auto move = MakeAction(settings, {}, {});
  const DatabaseFacts db = Db1(/*withMta=*/false);
  const ObjectRead mailbox = User({{"homeMDB", {"CN=DB0"}}, {"homeMTA", {"CN=Old MTA"}}});
  const ItemPlan plan = PlanOf(*move, kDn, mailbox, {kDb, &db, nullptr}, true);
  ASSERT_TRUE(plan.outcome.ok());
  EXPECT_EQ(
      Describe(plan.plan.mods),
      (Strings{std::string("replace homeMDB=") + kDb, "replace homeMTA",
               "replace msExchHomeServerName=/o=Org/ou=AG/cn=Configuration/cn=Servers/cn=SRV1"}));
  EXPECT_EQ(plan.out, std::string("DEBUG: [LDAP://dc1:389/") + kDn + "]\n");
  // Already there (letter case ignored), or no mailbox at all.
  EXPECT_EQ(
      PlanOf(*move, kDn, User({{"homeMDB", {"cn=db1,cn=sg1,cn=srv1,cn=servers,cn=ag,cn=org"}}}),
             {kDb, &db, nullptr})
          .outcome.code(),
      kEObjectAlreadyExists);
  EXPECT_EQ(PlanOf(*move, kDn, User(), {kDb, &db, nullptr}).outcome.code(), kEAdsPropertyNotFound);
}

ItemPlan Enable(const ObjectRead& object, RunSettings settings, const std::string& override = "") {
  settings.action = RunAction::MailEnable;
  static const OrganisationFacts organisation{Outcome::Ok(), "/o=Org/ou=First"};
  return PlanOf(*MakeAction(settings, {}, {}), kDn, object, {"", nullptr, &organisation}, {},
                override);
}

TEST(MailEnablePlanTest, UsersAndContactsGetTheTargetEncodingAndTheUpdate) {
  RunSettings settings;
  settings.targetAddress = "ann@ext.example";
  settings.update.hideFromAddressLists = true;
  const ItemPlan plan = Enable(User({{"showInAddressBook", {"CN=GAL"}}}), settings);
  ASSERT_TRUE(plan.outcome.ok()) << plan.err;
  EXPECT_EQ(Describe(plan.plan.mods),
            (Strings{"replace targetAddress=SMTP:ann@ext.example", "replace mailNickname=ann.lee",
                     "replace legacyExchangeDN=/o=Org/ou=First/cn=Recipients/cn=ann.lee",
                     "replace mAPIRecipient=FALSE", "replace internetEncoding=1310720",
                     "delete showInAddressBook", "replace msExchHideFromAddressLists=TRUE"}));
}

TEST(MailEnablePlanTest, TheTargetIsTheRunsTheObjectsMailOrTheLines) {
  RunSettings settings;
  settings.targetAddress = "X400:c=US";
  const ObjectRead contact =
      Found(kDn, {{"objectClass", {"top", "contact"}}, {"cn", {"Ann"}}, {"mail", {"a@own.x"}}});
  EXPECT_EQ(Enable(contact, settings).plan.mods.front().values.front(), "X400:c=US");
  EXPECT_EQ(Enable(contact, settings, "line@x").plan.mods.front().values.front(), "SMTP:line@x");
  settings.keepMail = true;
  EXPECT_EQ(Enable(contact, settings).plan.mods.front().values.front(), "SMTP:a@own.x");
  settings.targetAddress.clear();
  settings.keepMail = false;
  EXPECT_EQ(Enable(contact, settings).outcome.code(), kEAdsBadParameter);
  // A line's address with a control character in it is refused, not stored.
  const ItemPlan newline = Enable(contact, settings, "a@b.org\ndn: x");
  EXPECT_EQ(newline.outcome.code(), kEAdsBadParameter);
  EXPECT_TRUE(newline.plan.mods.empty());
}

TEST(MailEnablePlanTest, GroupsGetNoTargetAndKeepTheirEncoding) {
  const ItemPlan plan =
      Enable(Found(kDn, {{"objectClass", {"top", "group"}}, {"sAMAccountName", {"staff"}}}), {});
  ASSERT_TRUE(plan.outcome.ok());
  EXPECT_EQ(Describe(plan.plan.mods),
            (Strings{"replace mailNickname=staff",
                     "replace legacyExchangeDN=/o=Org/ou=First/cn=Recipients/cn=staff",
                     "replace reportToOriginator=TRUE"}));
  // A recipient already: a target address, or a user's mailbox.
  EXPECT_EQ(Enable(User({{"homeMDB", {kDb}}}), {}).outcome.code(), kEObjectAlreadyExists);
}

// What the one read asks for must cover everything a plan changes: the undo
// record restores those attributes from it.
TEST(ActionReadsTest, EveryChangedAttributeIsRead) {
  RunSettings settings;
  settings.targetAddress = "a@b";
  settings.update = {true, false, ParseQuota("::1")};
  const StartupFacts mixed;
  const DatabaseFacts db = Db1();
  const OrganisationFacts organisation{Outcome::Ok(), "/o=Org"};
  testing::Attributes everything = {{"objectClass", {"user"}},
                                    {"sAMAccountName", {"a"}},
                                    {"homeMTA", {"CN=Old"}},
                                    {"showInAddressBook", {"CN=G"}},
                                    {"mDBOverQuotaLimit", {"1"}}};
  for (const std::string& name : ExchangeAttributeList()) everything.push_back({name, {"v"}});
  for (RunAction kind : {RunAction::Clear, RunAction::Update, RunAction::CreateMailbox,
                         RunAction::MoveMailbox, RunAction::MailEnable}) {
    settings.action = kind;
    const auto action = MakeAction(settings, mixed, kGuids);
    const std::vector<std::string> read = action->Attributes();
    // The mailbox actions need an object without (or with another) mailbox.
    testing::Attributes attributes = everything;
    if (kind == RunAction::CreateMailbox || kind == RunAction::MailEnable)
      std::erase_if(attributes, [](const auto& a) {
        return a.first == "homeMDB" || a.first == "targetAddress";
      });
    const ItemPlan plan = PlanOf(*action, kDn, Found(kDn, attributes), {kDb, &db, &organisation});
    ASSERT_TRUE(plan.outcome.ok()) << static_cast<int>(kind) << plan.err;
    ASSERT_FALSE(plan.plan.mods.empty());
    for (const LdapModification& mod : plan.plan.mods) {
      EXPECT_TRUE(std::any_of(
          read.begin(), read.end(),
          [&](const std::string& name) { return LowerCase(name) == LowerCase(mod.type); }))
          << mod.type << " of action " << static_cast<int>(kind);
    }
  }
}

}  // namespace
}  // namespace varnel
