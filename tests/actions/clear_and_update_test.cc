// The -clear and -upd plans as functions of the object as read.
#include <gtest/gtest.h>

#include "actions/plan_support.h"

namespace varnel {
namespace {

const char kDn[] = "CN=Mailbox User,OU=Staff,DC=example,DC=com";

// The server names some attributes in another letter case than the list.
ObjectRead Recipient() {
  return Found(kDn, {{"objectClass", {"top", "person", "user"}},
                     {"proxyAddresses", {"SMTP:u@x"}},
                     {"MAIL", {"u@x"}},
                     {"homemdb", {"CN=DB1"}},
                     {"mailNickname", {"u"}},
                     {"showInAddressBook", {"CN=GAL"}},
                     {"mDBUseDefaults", {"TRUE"}},
                     {"mdbstoragequota", {"51200"}}});
}

std::unique_ptr<Action> Update(bool hide, bool unhide, std::optional<std::string> quota) {
  RunSettings settings = SettingsFor(RunAction::Update);
  settings.update = {hide, unhide, quota ? ParseQuota(*quota) : std::nullopt};
  return MakeAction(settings, {}, {});
}

TEST(ClearPlanTest, RemovesWhatTheObjectHoldsInListOrderAndSpelling) {
  const auto clear = MakeAction(SettingsFor(RunAction::Clear), NativeMode(), {});
  const ItemPlan plan = PlanOf(*clear, kDn, Recipient());
  EXPECT_TRUE(plan.outcome.ok());
  EXPECT_EQ(plan.plan.dn, kDn);
  EXPECT_EQ(plan.plan.writer, ObjectPlan::Writer::kLdap);
  EXPECT_EQ(
      Describe(plan.plan.mods),
      (Strings{"delete mail", "delete mailNickname", "delete showInAddressBook", "delete homeMDB",
               "delete mDBStorageQuota", "delete mDBUseDefaults", "delete proxyAddresses"}));
  EXPECT_EQ(plan.out + plan.err, "");
  // Nothing held, nothing to send.
  EXPECT_TRUE(PlanOf(*clear, kDn, Found(kDn, {{"objectClass", {"user"}}})).plan.mods.empty());
}

// Only the Exchange attributes go; the account and its other attributes stay.
TEST(ClearPlanTest, LeavesWhatIsNotAnExchangeAttribute) {
  const ItemPlan plan = PlanOf(*MakeAction(SettingsFor(RunAction::Clear), NativeMode(), {}), kDn,
                               Found(kDn, {{"objectClass", {"user"}},
                                           {"sAMAccountName", {"u"}},
                                           {"displayName", {"U"}},
                                           {"description", {"d"}},
                                           {"EXTENSIONATTRIBUTE10", {"x"}},
                                           {"msExchHideFromAddressLists", {"TRUE"}}}));
  EXPECT_EQ(Describe(plan.plan.mods),
            (Strings{"delete msExchHideFromAddressLists", "delete extensionAttribute10"}));
}

TEST(ClearPlanTest, MixedModeSetsTheLegacyDnMarkerInTheSameRequest) {
  const StartupFacts mixed;
  const ItemPlan plan = PlanOf(*MakeAction(SettingsFor(RunAction::Clear), mixed, {}), kDn,
                               Found(kDn, {{"mail", {"u@x"}}, {"legacyExchangeDN", {"/o=x"}}}));
  EXPECT_EQ(Describe(plan.plan.mods),
            (Strings{"delete mail", "replace legacyExchangeDN=ADCDisabledMail"}));
}

TEST(ClearPlanTest, AnObjectNotReadIsNotClearedAndSaysWhy) {
  const auto clear = MakeAction(SettingsFor(RunAction::Clear), NativeMode(), {});
  const ItemPlan plan = PlanOf(*clear, kDn, Missing(), {}, true);
  EXPECT_EQ(plan.outcome.code(), 0x20);
  EXPECT_TRUE(plan.plan.mods.empty());
  EXPECT_EQ(plan.out, std::string("\nDEBUG: Retrieving DN attributes...") + kDn + "\n");
  EXPECT_EQ(plan.err, "LDAP_SEARCH_S: 0x20\nLDAP_SEARCH_S: No such object\n\n");
}

TEST(UpdatePlanTest, RemovalsOfHeldAttributesComeFirstThenTheSettings) {
  const ItemPlan plan = PlanOf(*Update(true, false, "::"), kDn, Recipient());
  EXPECT_TRUE(plan.outcome.ok());
  EXPECT_EQ(Describe(plan.plan.mods),
            (Strings{"delete showInAddressBook", "delete mDBStorageQuota",
                     "replace msExchHideFromAddressLists=TRUE", "replace mDBUseDefaults=TRUE"}));
  // A full quota replaces every limit and needs no removal.
  EXPECT_EQ(Describe(PlanOf(*Update(false, false, "100:200:300"), kDn, Recipient()).plan.mods),
            (Strings{"replace mDBUseDefaults=FALSE", "replace mDBStorageQuota=102400",
                     "replace mDBOverQuotaLimit=204800", "replace mDBOverHardQuotaLimit=307200"}));
}

TEST(UpdatePlanTest, AnObjectNotReadFailsOnlyWhereRemovalsDependOnIt) {
  const ItemPlan hide = PlanOf(*Update(true, false, std::nullopt), kDn, Missing(0x32));
  EXPECT_EQ(hide.outcome.code(), 0x32);
  EXPECT_TRUE(hide.plan.mods.empty());
  EXPECT_EQ(hide.err, "LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: Insufficient access\n\n");
  // Settings alone go out, and the server has the last word.
  const ItemPlan unhide = PlanOf(*Update(false, true, std::nullopt), kDn, Missing());
  EXPECT_TRUE(unhide.outcome.ok());
  EXPECT_EQ(Describe(unhide.plan.mods), Strings{"replace msExchHideFromAddressLists=FALSE"});
  // Nothing to change: nothing planned, whatever the read.
  const ItemPlan nothing = PlanOf(*Update(false, false, std::nullopt), kDn, Missing());
  EXPECT_TRUE(nothing.outcome.ok());
  EXPECT_TRUE(nothing.plan.mods.empty());
}

TEST(UpdatePlanTest, DebugTracesTheRemovalsAndSettings) {
  const ItemPlan plan = PlanOf(*Update(true, false, std::nullopt), kDn, Recipient(), {}, true);
  EXPECT_EQ(plan.out, std::string("\nDEBUG: Retrieving DN attributes...") + kDn +
                          "\nDEBUG: Setting " + kDn +
                          "\nDEBUG: Clear - showInAddressBook\n"
                          "DEBUG: Set - msExchHideFromAddressLists to TRUE\nDEBUG: modcnt=2\n");
}

}  // namespace
}  // namespace varnel
