// Clearing, updating and mail-database resolution against the sandbox,
// checked by reading the directory back.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

std::string Quotas(const std::string& dn) {
  auto e =
      ReadEntry(dn, {"mDBUseDefaults", "mDBStorageQuota", "mDBOverQuotaLimit",
                     "mDBOverHardQuotaLimit", "msExchHideFromAddressLists", "showInAddressBook"});
  auto get = [&](const char* name) {
    auto it = e.find(name);
    return it == e.end() ? std::string("-") : it->second.front();
  };
  return get("mdbusedefaults") + "|" + get("mdbstoragequota") + "|" + get("mdboverquotalimit") +
         "|" + get("mdboverhardquotalimit") + "|" + get("msexchhidefromaddresslists") + "|" +
         (e.count("showinaddressbook") ? "gal" : "-");
}

std::string QuotaUser(const std::string& ou, const std::string& cn) {
  return AddUser(ou, cn,
                 "mDBUseDefaults: FALSE\nmDBStorageQuota: 1024\nmDBOverQuotaLimit: 2048\n"
                 "mDBOverHardQuotaLimit: 4096\nmsExchHideFromAddressLists: FALSE\n"
                 "showInAddressBook: " +
                     SandboxFact("VARNEL_SANDBOX_GAL") + "\n");
}

const char kInitial[] = "FALSE|1024|2048|4096|FALSE|gal";

TEST(ChangesIT, QuotaCasesEndAsSpecified) {
  std::string ou = FreshOu("quota");
  struct Case {
    std::string quota;
    std::string expected;
    bool bad;
  } cases[] = {
      {"100:200:300", "FALSE|102400|204800|307200|FALSE|gal", false},
      {"::", "TRUE|-|-|-|FALSE|gal", false},
      {"::500", "FALSE|-|-|512000|FALSE|gal", false},
      {"100", kInitial, true},
      {"300:200:100", kInitial, true},
      {"0:0:0", "FALSE|0|0|0|FALSE|gal", false},
      {"-1:-1:-1", "TRUE|-|-|-|FALSE|gal", false},
      {"::2097152", kInitial, true},
      {"2097151:2097151:2097151", "FALSE|2147482624|2147482624|2147482624|FALSE|gal", false},
      {"abc:def:ghi", kInitial, true},
      {"-5:-3:-1", kInitial, true},
      {"1:2:3:4", kInitial, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string dn = QuotaUser(ou, "Quota " + std::to_string(n++));
    ASSERT_EQ(Quotas(dn), kInitial);
    const std::string usn = ReadValue(dn, "uSNChanged");
    ProcessResult r = RunVarnel({"-upd", "-q", "-b", dn, "-quota", c.quota});
    // A bad value ends the run before the directory is touched.
    EXPECT_EQ(r.status, c.bad ? 1 : 0) << c.quota << r.err;
    EXPECT_EQ(Quotas(dn), c.expected) << c.quota;
    EXPECT_EQ(r.err == "ERROR: Bad quota values\n", c.bad) << c.quota << r.err;
    if (c.bad) {
      EXPECT_EQ(ReadValue(dn, "uSNChanged"), usn) << c.quota;
    }
  }
}

TEST(ChangesIT, HideAndUnhideTogether) {
  std::string ou = FreshOu("hide");
  std::string dn = QuotaUser(ou, "Hide Both");
  // A contradiction is refused rather than half-applied.
  ProcessResult r = RunVarnel({"-upd", "-q", "-b", dn, "-hfal", "-uhfal"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Quotas(dn), kInitial);
  std::string hidden = QuotaUser(ou, "Hide Only");
  EXPECT_EQ(RunVarnel({"-upd", "-q", "-b", hidden, "-hfal", "-quota", "9:1:1"}).status, 1);
  EXPECT_EQ(Quotas(hidden), kInitial);
  EXPECT_EQ(RunVarnel({"-upd", "-q", "-b", hidden, "-hfal"}).status, 0);
  EXPECT_EQ(Quotas(hidden), "FALSE|1024|2048|4096|TRUE|-");
}

TEST(ChangesIT, RefusedUpdateChangesNothing) {
  std::string ou = FreshOu("refused-update");
  std::string dn = QuotaUser(ou, "Refused Update");
  ProcessResult r = RunVarnel({"-upd", "-b", dn, "-hfal", "-quota", "::"}, "", Account::kUser);
  EXPECT_EQ(r.status, 50) << r.out << r.err;
  EXPECT_NE(r.err.find(": [] Error 0x32 (50) - Insufficient access\n"), std::string::npos) << r.err;
  EXPECT_EQ(Quotas(dn), kInitial);
}

TEST(ChangesIT, ClearRemovesExactlyTheExchangeAttributes) {
  std::string ou = FreshOu("clear");
  std::string dn = AddContact(
      ou, "Clear Carol",
      "mail: carol@example.com\nmailNickname: carol\ntargetAddress: SMTP:carol@example.com\n"
      "extensionAttribute7: seven\nproxyAddresses: SMTP:carol@example.com\n"
      "description: kept\ntelephoneNumber: 123\n");
  ProcessResult r = RunVarnel({"-clear", "-d", "-b", dn});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DEBUG: Clear - extensionAttribute7\nDEBUG: Clear - proxyAddresses\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("DEBUG: modcnt=5\n"), std::string::npos) << r.out;
  auto e = ReadEntry(dn);
  for (const char* gone :
       {"mail", "mailnickname", "targetaddress", "extensionattribute7", "proxyaddresses"})
    EXPECT_EQ(e.count(gone), 0u) << gone;
  EXPECT_EQ(e["description"], std::vector<std::string>{"kept"});
  EXPECT_EQ(e["telephonenumber"], std::vector<std::string>{"123"});

  ProcessResult again = RunVarnel({"-clear", "-d", "-b", dn});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("DEBUG: modcnt=0\n"), std::string::npos);
  EXPECT_EQ(again.out.find("DEBUG: uErr="), std::string::npos);
}

TEST(ChangesIT, RefusedClearPrintsTheErrorLineAndChangesNothing) {
  std::string ou = FreshOu("refused-clear");
  std::string dn =
      AddContact(ou, "Refused Clear", "mail: rc@example.com\nextensionAttribute1: one\n");
  ProcessResult r = RunVarnel({"-clear", "-b", dn}, "", Account::kUser);
  EXPECT_EQ(r.status, 50);
  EXPECT_NE(r.err.find(": [] Error 0x32 (50) - Insufficient access\n"), std::string::npos) << r.err;
  EXPECT_EQ(ReadValue(dn, "mail"), "rc@example.com");
  EXPECT_EQ(ReadValue(dn, "extensionAttribute1"), "one");
}

TEST(ChangesIT, ClearOfAMissingObjectIsAFailure) {
  std::string ou = FreshOu("clear-missing");
  ProcessResult r = RunVarnel({"-clear", "-b", "CN=Nobody," + ou});
  EXPECT_EQ(r.status, 32);
  EXPECT_NE(r.err.find("LDAP_SEARCH_S: 0x20\nLDAP_SEARCH_S: No such object\n\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("The command completed with errors."), std::string::npos);
}

TEST(ChangesIT, ShortAndFullMailDatabaseNames) {
  std::string ou = FreshOu("resolve");
  std::string user = AddUser(ou, "Resolve Dave");
  // A move of a user without a mailbox fails after resolution; only the
  // resolution lines matter here.
  ProcessResult r = RunVarnel({"-move", "srv1:sg1:db1", "-b", user});
  EXPECT_NE(r.out.find("\nResolving homeMDB [srv1:sg1:db1]...\nLooking for Server...\n"
                       "Looking for Storage Group...\nLooking for Mail Database...\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("ERROR: AD Search"), std::string::npos) << r.out;

  ProcessResult quiet = RunVarnel({"-move", "SRV1:NOSG:DB1", "-q", "-b", user});
  EXPECT_NE(
      quiet.out.find("Exchange Mode: Native\nERROR: AD Search couldn't find Storage Group: NOSG\n"),
      std::string::npos)
      << quiet.out;
  EXPECT_EQ(quiet.out.find("Looking for"), std::string::npos);

  std::string mdb = SandboxFact("VARNEL_SANDBOX_MDB");
  std::string storageGroup = mdb.substr(mdb.find(',') + 1);
  ProcessResult full = RunVarnel({"-move", mdb, "-b", user, "-d"});
  EXPECT_NE(full.out.find("Looking for specified homeMDB...\n"), std::string::npos);
  EXPECT_NE(full.out.find("Home MDB: " + mdb + "\n"), std::string::npos) << full.out;

  // A storage group holds databases but is none: refused where it is resolved.
  ProcessResult group = RunVarnel({"-move", storageGroup, "-b", user});
  EXPECT_NE(group.out.find("ERROR: Invalid HomeMDB [" + storageGroup + "]\n"), std::string::npos)
      << group.out;
  EXPECT_EQ(group.status, 255);

  ProcessResult refused = RunVarnel({"-move", user, "-b", user});
  EXPECT_NE(refused.out.find("ERROR: Invalid HomeMDB [" + user + "]\n"), std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find(" - No valid homeMDB value.\n"), std::string::npos);
  EXPECT_EQ(refused.status, 255);
}

TEST(ChangesIT, NamesThatNeedFilterEscapingResolveToThatObject) {
  std::string ou = FreshOu("escape");
  std::string user = AddUser(ou, "Escape Erin");
  for (const char* spec : {"SRV1:SG1:Mailbox Store (SRV1)", "SRV1:SG2:a*"}) {
    ProcessResult r = RunVarnel({"-move", spec, "-b", user, "-d"});
    EXPECT_EQ(r.out.find("ERROR: AD Search"), std::string::npos) << spec << r.out;
    std::string name = std::string(spec).substr(9);
    EXPECT_NE(r.out.find("Home MDB: CN=" + name + ","), std::string::npos) << spec << r.out;
  }
}

}  // namespace
}  // namespace varnel::integration
