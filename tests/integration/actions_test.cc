// Mailbox creation, move and mail-enabling through the object service,
// against the sandbox, checked by reading the directory back.
#include <gtest/gtest.h>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

std::string ServerDn(const std::string& server) {
  std::string admin = SandboxFact("VARNEL_SANDBOX_ADMIN_GROUP");
  return "CN=" + server + ",CN=Servers," + admin;
}

std::string DatabaseDn(const std::string& server, const std::string& sg, const std::string& db) {
  return "CN=" + db + ",CN=" + sg + ",CN=InformationStore," + ServerDn(server);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(ActionsIT, CreateMailboxWritesTheMailboxAttributesThenTheUpdate) {
  std::string ou = FreshOu("create");
  std::string dn = AddUser(ou, "Create Fiona");
  std::string alias = ReadValue(dn, "sAMAccountName");
  ProcessResult r = RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", dn, "-quota", "100:200:300", "-hfal"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Creating Mailboxes...\n   DN: " + dn + "...\n"), std::string::npos)
      << r.out;

  auto e = ReadEntry(dn);
  EXPECT_EQ(Lower(e["homemdb"].at(0)), Lower(DatabaseDn("SRV1", "SG1", "DB1")));
  EXPECT_EQ(Lower(e["homemta"].at(0)), Lower("CN=Microsoft MTA," + ServerDn("SRV1")));
  EXPECT_EQ(e["msexchhomeservername"].at(0), ReadValue(ServerDn("SRV1"), "legacyExchangeDN"));
  EXPECT_EQ(e["mailnickname"].at(0), alias);
  EXPECT_EQ(e["legacyexchangedn"].at(0),
            ReadValue(SandboxFact("VARNEL_SANDBOX_ADMIN_GROUP"), "legacyExchangeDN") +
                "/cn=Recipients/cn=" + alias);
  EXPECT_EQ(e["msexchmailboxguid"].at(0).size(), 16u);
  EXPECT_EQ(e["mdbusedefaults"].at(0), "FALSE");  // the quota's update follows the creation
  EXPECT_EQ(e["mdbstoragequota"].at(0), "102400");
  EXPECT_EQ(e["mdboverhardquotalimit"].at(0), "307200");
  EXPECT_EQ(e["msexchhidefromaddresslists"].at(0), "TRUE");

  ProcessResult again = RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", dn, "-q"});
  EXPECT_EQ(again.status, 68);  // the already-exists error of the directory
  EXPECT_NE(again.err.find(" - ERROR: (CreateMailBox) (0x80071392) The object already exists.\n"),
            std::string::npos)
      << again.err;

  std::string group = AddGroup(ou, "Create Group");
  ProcessResult onGroup = RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", group});
  EXPECT_EQ(onGroup.status, 254);
  EXPECT_NE(onGroup.out.find("   DN: " + group +
                             "... - No MailBox Create function for this object type.\n"),
            std::string::npos)
      << onGroup.out;
  EXPECT_EQ(ReadValue(group, "homeMDB"), "");
}

TEST(ActionsIT, MoveRehomesTheMailbox) {
  std::string ou = FreshOu("move");
  std::string dn = AddUser(ou, "Move George");
  ASSERT_EQ(RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", dn, "-q"}).status, 0);
  std::string guid = ReadValue(dn, "msExchMailboxGuid");

  ProcessResult r = RunVarnel({"-move", "SRV2:SG1:DB1", "-b", dn});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto e = ReadEntry(dn);
  EXPECT_EQ(Lower(e["homemdb"].at(0)), Lower(DatabaseDn("SRV2", "SG1", "DB1")));
  EXPECT_EQ(Lower(e["homemta"].at(0)), Lower("CN=Microsoft MTA," + ServerDn("SRV2")));
  EXPECT_EQ(e["msexchhomeservername"].at(0), ReadValue(ServerDn("SRV2"), "legacyExchangeDN"));
  EXPECT_EQ(e["msexchmailboxguid"].at(0), guid);

  ProcessResult same = RunVarnel({"-move", Lower(DatabaseDn("SRV2", "SG1", "DB1")), "-b", dn});
  EXPECT_EQ(same.status, 68);
  EXPECT_NE(same.err.find(" - ERROR: (MoveMailBox) (0x80071392) The object already exists.\n"),
            std::string::npos)
      << same.err;

  std::string plain = AddUser(ou, "Move Nobox");
  ProcessResult nobox = RunVarnel({"-move", "SRV2:SG1:DB1", "-b", plain});
  EXPECT_EQ(nobox.status, 254);
  EXPECT_NE(nobox.out.find("adsi error\n"), std::string::npos) << nobox.out;
  EXPECT_NE(nobox.err.find(" - ERROR: (MoveMailBox) (0x8000500d) E_ADS_PROPERTY_NOT_FOUND"),
            std::string::npos)
      << nobox.err;
  EXPECT_EQ(ReadValue(plain, "homeMDB"), "");
}

TEST(ActionsIT, MailEnableContactsGroupsAndKeepmail) {
  std::string ou = FreshOu("mailenable");
  std::string contact = AddContact(ou, "Enable Hannah");
  ProcessResult r = RunVarnel({"-me", "hannah@example.com", "-b", contact});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadValue(contact, "targetAddress"), "SMTP:hannah@example.com");
  EXPECT_EQ(ReadValue(contact, "internetEncoding"), "1310720");
  EXPECT_NE(ReadValue(contact, "mailNickname"), "");
  EXPECT_EQ(ReadValue(contact, "mAPIRecipient"), "FALSE");

  std::string encoded = AddContact(ou, "Enable Ian");
  ASSERT_EQ(
      RunVarnel({"-me", "X400:c=us;a= ;p=org;s=ian", "-internetencoding", "917504", "-b", encoded})
          .status,
      0);
  EXPECT_EQ(ReadValue(encoded, "targetAddress"), "X400:c=us;a= ;p=org;s=ian");
  EXPECT_EQ(ReadValue(encoded, "internetEncoding"), "917504");

  std::string group = AddGroup(ou, "Enable Group");
  ProcessResult g = RunVarnel({"-me", "-b", group});
  ASSERT_EQ(g.status, 0) << g.out << g.err;
  EXPECT_NE(ReadValue(group, "mailNickname"), "");
  EXPECT_EQ(ReadValue(group, "reportToOriginator"), "TRUE");
  EXPECT_EQ(ReadValue(group, "internetEncoding"), "");
  EXPECT_EQ(ReadValue(group, "targetAddress"), "");

  std::string keep = AddContact(ou, "Enable Keep", "mail: kept@example.com\n");
  ASSERT_EQ(RunVarnel({"-me", "other@example.com", "-keepmail", "-b", keep}).status, 0);
  EXPECT_EQ(ReadValue(keep, "targetAddress"), "SMTP:kept@example.com");

  ProcessResult again = RunVarnel({"-me", "x@example.com", "-b", contact});
  EXPECT_EQ(again.status, 68);
  EXPECT_NE(again.err.find(" - ERROR: (MailEnable) (0x80071392) "), std::string::npos) << again.err;

  ProcessResult missing = RunVarnel({"-me", "x@example.com", "-b", "CN=Nobody," + ou});
  EXPECT_EQ(missing.status, 32);  // no such object, as for -upd and -clear
  EXPECT_NE(missing.err.find(
                " - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n"),
            std::string::npos)
      << missing.err;
}

TEST(ActionsIT, OrdinaryUserIsRefusedAndNothingChanges) {
  std::string ou = FreshOu("refused-actions");
  std::string user = AddUser(ou, "Refused Jack");
  std::string contact = AddContact(ou, "Refused Kate");
  ProcessResult cr = RunVarnel({"-cr", "SRV1:SG1:DB1", "-b", user}, "", Account::kUser);
  EXPECT_NE(cr.status, 0);
  EXPECT_NE(cr.err.find(" - ERROR: (SetInfo) (0x80070005) Access is denied.\n"), std::string::npos)
      << cr.err;
  EXPECT_EQ(ReadValue(user, "homeMDB"), "");
  ProcessResult me = RunVarnel({"-me", "k@example.com", "-b", contact}, "", Account::kUser);
  EXPECT_NE(me.status, 0);
  EXPECT_EQ(ReadValue(contact, "targetAddress"), "");
}

}  // namespace
}  // namespace varnel::integration
