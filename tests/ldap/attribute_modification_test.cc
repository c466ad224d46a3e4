#include "ldap/attribute_modification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/console.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

using Op = LdapModification::Op;
const char kDn[] = "CN=User1,OU=Staff,DC=example,DC=com";

void ExpectMod(const LdapModification& mod, Op op, const std::string& type,
               const std::vector<std::string>& values) {
  EXPECT_EQ(mod.op, op) << type;
  EXPECT_EQ(mod.type, type);
  EXPECT_EQ(mod.values, values) << type;
}

class AttributeModificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConsoleFlags({});
    ldap_.AddEntry(kDn, {{"objectClass", {"top", "user"}},
                         {"mDBStorageQuota", {"1024"}},
                         {"description", {"old"}},
                         {"info", {"note"}}});
  }
  void TearDown() override { SetConsoleFlags({}); }

  // Runs LdapSetAttrList and returns its code, keeping both streams.
  int SetList(const std::vector<std::string>& list) {
    CaptureStdout();
    CaptureStderr();
    int rc = LdapSetAttrList(ldap_, kDn, list);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return rc;
  }

  testing::FakeLdapConnection ldap_;
  std::string out_;
  std::string err_;
};

TEST_F(AttributeModificationTest, ParsesNameAndValueAtFirstColon) {
  ExpectMod(ParseModificationText("msExchHideFromAddressLists:TRUE"), Op::kReplace,
            "msExchHideFromAddressLists", {"TRUE"});
  ExpectMod(ParseModificationText("description:a:b"), Op::kReplace, "description", {"a:b"});
  ExpectMod(ParseModificationText("a:b:"), Op::kReplace, "a", {"b"});
  ExpectMod(ParseModificationText("a:b::"), Op::kReplace, "a", {"b:"});
  ExpectMod(ParseModificationText("description: padded "), Op::kReplace, "description",
            {" padded "});
  ExpectMod(ParseModificationText("mDBStorageQuota:"), Op::kDelete, "mDBStorageQuota", {});
  ExpectMod(ParseModificationText("mDBStorageQuota"), Op::kDelete, "mDBStorageQuota", {});
}

TEST_F(AttributeModificationTest, SendsWholeListInOneRequestInListOrder) {
  EXPECT_EQ(SetList({"description:a:b", "mDBStorageQuota:", "info",
                     "msExchHideFromAddressLists:TRUE", "msExchHideFromAddressLists:FALSE"}),
            0);
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(ldap_.modifies[0].dn, kDn);
  const std::vector<LdapModification>& mods = ldap_.modifies[0].mods;
  ASSERT_EQ(mods.size(), 5u);
  ExpectMod(mods[0], Op::kReplace, "description", {"a:b"});
  ExpectMod(mods[1], Op::kDelete, "mDBStorageQuota", {});
  ExpectMod(mods[2], Op::kDelete, "info", {});
  ExpectMod(mods[3], Op::kReplace, "msExchHideFromAddressLists", {"TRUE"});
  ExpectMod(mods[4], Op::kReplace, "msExchHideFromAddressLists", {"FALSE"});
  EXPECT_EQ(ldap_.Value(kDn, "description"), "a:b");
  EXPECT_FALSE(ldap_.Has(kDn, "info"));
  EXPECT_EQ(ldap_.Value(kDn, "msExchHideFromAddressLists"), "FALSE");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");
}

TEST_F(AttributeModificationTest, LongListIsNotCut) {
  std::vector<std::string> list;
  for (int i = 0; i < 1500; ++i) list.push_back("description:" + std::to_string(i));
  EXPECT_EQ(SetList(list), 0);
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  ASSERT_EQ(ldap_.modifies[0].mods.size(), 1500u);
  EXPECT_EQ(ldap_.modifies[0].mods.back().values, std::vector<std::string>{"1499"});
  EXPECT_EQ(ldap_.Value(kDn, "description"), "1499");
}

TEST_F(AttributeModificationTest, EmptyListSendsNothing) {
  EXPECT_EQ(SetList({}), 0);
  EXPECT_TRUE(ldap_.modifies.empty());
  EXPECT_EQ(out_, "");

  SetConsoleFlags({.quiet = false, .debug = true});
  EXPECT_EQ(SetList({}), 0);
  EXPECT_TRUE(ldap_.modifies.empty());
  EXPECT_EQ(out_, std::string("DEBUG: Setting ") + kDn + "\nDEBUG: modcnt=0\n");
}

TEST_F(AttributeModificationTest, DebugTracesEveryEntryAndResult) {
  SetConsoleFlags({.quiet = false, .debug = true});
  EXPECT_EQ(SetList({"mDBUseDefaults:FALSE", "mDBStorageQuota"}), 0);
  EXPECT_EQ(out_, std::string("DEBUG: Setting ") + kDn +
                      "\nDEBUG: Set - mDBUseDefaults to FALSE\n"
                      "DEBUG: Clear - mDBStorageQuota\n"
                      "DEBUG: modcnt=2\n"
                      "DEBUG: uErr=0\n");
}

TEST_F(AttributeModificationTest, RefusedRequestPrintsErrorLineAndChangesNothing) {
  ldap_.modifyResult = 50;
  EXPECT_EQ(SetList({"description:new", "mDBStorageQuota:"}), 50);
  EXPECT_EQ(err_, ": [] Error 0x32 (50) - Insufficient access\n");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(ldap_.Value(kDn, "description"), "old");
  EXPECT_TRUE(ldap_.Has(kDn, "mDBStorageQuota"));
}

TEST_F(AttributeModificationTest, RefusedRequestUnderQuietPrintsNothing) {
  SetConsoleFlags({.quiet = true, .debug = false});
  ldap_.modifyResult = 0x51;
  EXPECT_EQ(SetList({"description:new"}), 0x51);
  EXPECT_EQ(err_, "");
  EXPECT_EQ(out_, "");
}

TEST_F(AttributeModificationTest, ServerRefusalOfOneEntryKeepsTheOthersUndone) {
  // Removing an attribute the object lacks makes the fake (like a server)
  // refuse the whole request.
  EXPECT_EQ(SetList({"description:new", "extensionAttribute1:"}), 16);
  EXPECT_EQ(ldap_.Value(kDn, "description"), "old");
  EXPECT_EQ(err_.rfind(": [] Error 0x10 (16) - ", 0), 0u) << err_;
}

TEST_F(AttributeModificationTest, SetAttrReplacesOneValueAndNeverPrintsErrors) {
  EXPECT_EQ(LdapSetAttr(ldap_, kDn, "legacyExchangeDN", "ADCDisabledMail"), 0);
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  ASSERT_EQ(ldap_.modifies[0].mods.size(), 1u);
  ExpectMod(ldap_.modifies[0].mods[0], Op::kReplace, "legacyExchangeDN", {"ADCDisabledMail"});
  EXPECT_EQ(ldap_.Value(kDn, "legacyExchangeDN"), "ADCDisabledMail");

  ldap_.modifyResult = 50;
  SetConsoleFlags({.quiet = false, .debug = true});
  CaptureStdout();
  CaptureStderr();
  EXPECT_EQ(LdapSetAttr(ldap_, kDn, "internetEncoding", "1310720"), 50);
  EXPECT_EQ(GetCapturedStdout(), std::string("DEBUG: Setting ") + kDn +
                                     " - internetEncoding - 1310720\nDEBUG: uErr=50\n");
  EXPECT_EQ(GetCapturedStderr(), "");
}

}  // namespace
}  // namespace varnel
