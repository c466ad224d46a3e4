#include "exchange/ldap_directory_object_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fake_ldap_connector.h"

namespace varnel {
namespace {

const std::string kConfig = "CN=Configuration,DC=example,DC=com";
const std::string kOrg = "CN=First Org,CN=Microsoft Exchange,CN=Services," + kConfig;
const std::string kAdminGroup = "CN=First AG,CN=Administrative Groups," + kOrg;
const std::string kAdminGroupLegacy = "/o=First Org/ou=First AG";
const std::string kSrv1 = "CN=SRV1,CN=Servers," + kAdminGroup;
const std::string kSrv1Legacy = kAdminGroupLegacy + "/cn=Configuration/cn=Servers/cn=SRV1";
const std::string kSrv2 = "CN=SRV2,CN=Servers," + kAdminGroup;  // has no MTA
const std::string kSrv2Legacy = kAdminGroupLegacy + "/cn=Configuration/cn=Servers/cn=SRV2";
const std::string kDb1 = "CN=DB1,CN=SG1,CN=InformationStore," + kSrv1;
const std::string kPublicDb = "CN=PF1,CN=SG1,CN=InformationStore," + kSrv1;
const std::string kDb2 = "CN=DB2,CN=SG1,CN=InformationStore," + kSrv2;
const std::string kDb3 = "CN=DB3,CN=SG1,CN=InformationStore," + kSrv1;
const std::string kOrphanDb = "CN=Lost,CN=Databases," + kConfig;  // no server above it

const std::string kUsers = "CN=Users,DC=example,DC=com";
const std::string kPlainUser = "CN=John Smith," + kUsers;
const std::string kMailboxUser = "CN=Mary Major," + kUsers;
const std::string kContact = "CN=Ext Contact," + kUsers;
const std::string kMailContact = "CN=Mail Contact," + kUsers;
const std::string kGroup = "CN=Sales Team," + kUsers;
const std::string kComputer = "CN=WS01," + kUsers;
const std::string kPerson = "CN=Org Person," + kUsers;
const std::string kNoNameUser = "CN=(),CN=Users,DC=example,DC=com";

const std::vector<std::string> kUserClasses = {"top", "person", "organizationalPerson", "user"};

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }
std::u16string PathOf(const std::string& dn) { return Wide("LDAP://" + dn); }

// "type=value" per modification (values joined with "|"; a removal shows as
// "type=" with nothing after it), binary GUIDs left out.
std::vector<std::string> Describe(const std::vector<LdapModification>& mods) {
  std::vector<std::string> lines;
  for (const LdapModification& mod : mods) {
    EXPECT_EQ(mod.op, LdapModification::Op::kReplace) << mod.type;
    std::string line = mod.type + "=";
    if (mod.type == "msExchMailboxGuid") {
      size_t bytes = mod.values.empty() ? 0 : mod.values.front().size();
      line.append("<").append(std::to_string(bytes)).append(" bytes>");
    } else {
      for (size_t i = 0; i < mod.values.size(); ++i) line += (i ? "|" : "") + mod.values[i];
    }
    lines.push_back(line);
  }
  return lines;
}

void AddOrganisation(testing::FakeLdapConnection& d) {
  d.AddEntry("", {{"configurationNamingContext", {kConfig}},
                  {"defaultNamingContext", {"DC=example,DC=com"}}});
  d.AddEntry("CN=Microsoft Exchange,CN=Services," + kConfig,
             {{"objectClass", {"top", "container"}}});
  d.AddEntry(kOrg, {{"objectClass", {"top", "msExchOrganizationContainer"}}});
  d.AddEntry("CN=Administrative Groups," + kOrg,
             {{"objectClass", {"top", "msExchAdminGroupContainer"}}});
  d.AddEntry(kAdminGroup, {{"objectClass", {"top", "msExchAdminGroup"}},
                           {"legacyExchangeDN", {kAdminGroupLegacy}}});
  d.AddEntry("CN=Servers," + kAdminGroup, {{"objectClass", {"top", "msExchServersContainer"}}});
  d.AddEntry(kSrv1, {{"objectClass", {"top", "server", "msExchExchangeServer"}},
                     {"legacyExchangeDN", {kSrv1Legacy}}});
  d.AddEntry("CN=Microsoft MTA," + kSrv1, {{"objectClass", {"top", "mTA"}}});
  d.AddEntry("CN=InformationStore," + kSrv1, {{"objectClass", {"top", "msExchInformationStore"}}});
  d.AddEntry("CN=SG1,CN=InformationStore," + kSrv1,
             {{"objectClass", {"top", "msExchStorageGroup"}}});
  d.AddEntry(kDb1, {{"objectClass", {"top", "msExchMDB", "msExchPrivateMDB"}}});
  d.AddEntry(kDb3, {{"objectClass", {"top", "msExchMDB", "msExchPrivateMDB"}}});
  d.AddEntry(kPublicDb, {{"objectClass", {"top", "msExchMDB", "msExchPublicMDB"}}});
  d.AddEntry(kSrv2, {{"objectClass", {"top", "server", "msExchExchangeServer"}},
                     {"legacyExchangeDN", {kSrv2Legacy}}});
  d.AddEntry("CN=InformationStore," + kSrv2, {{"objectClass", {"top", "msExchInformationStore"}}});
  d.AddEntry("CN=SG1,CN=InformationStore," + kSrv2,
             {{"objectClass", {"top", "msExchStorageGroup"}}});
  d.AddEntry(kDb2, {{"objectClass", {"top", "msExchMDB", "msExchPrivateMDB"}}});
  d.AddEntry("CN=Databases," + kConfig, {{"objectClass", {"top", "container"}}});
  d.AddEntry(kOrphanDb, {{"objectClass", {"top", "msExchMDB", "msExchPrivateMDB"}}});
}

void AddRecipients(testing::FakeLdapConnection& d) {
  d.AddEntry(kUsers, {{"objectClass", {"top", "container"}}});
  d.AddEntry(
      kPlainUser,
      {{"objectClass", kUserClasses}, {"cn", {"John Smith"}}, {"sAMAccountName", {"jsmith"}}});
  d.AddEntry(kMailboxUser, {{"objectClass", kUserClasses},
                            {"cn", {"Mary Major"}},
                            {"sAMAccountName", {"mmajor"}},
                            {"homeMDB", {kDb1}},
                            {"homeMTA", {"CN=Microsoft MTA," + kSrv1}},
                            {"msExchHomeServerName", {kSrv1Legacy}},
                            {"mailNickname", {"mary"}},
                            {"legacyExchangeDN", {kAdminGroupLegacy + "/cn=Recipients/cn=mary"}}});
  d.AddEntry(kContact, {{"objectClass", {"top", "person", "organizationalPerson", "contact"}},
                        {"cn", {"Ext Contact"}}});
  d.AddEntry(kMailContact, {{"objectClass", {"top", "person", "organizationalPerson", "contact"}},
                            {"cn", {"Mail Contact"}},
                            {"targetAddress", {"SMTP:mc@example.net"}}});
  d.AddEntry(kGroup, {{"objectClass", {"top", "group"}},
                      {"cn", {"Sales Team"}},
                      {"sAMAccountName", {"Sales Team"}}});
  d.AddEntry(kComputer,
             {{"objectClass", {"top", "person", "organizationalPerson", "user", "computer"}},
              {"cn", {"WS01"}},
              {"sAMAccountName", {"WS01$"}}});
  d.AddEntry(kPerson,
             {{"objectClass", {"top", "person", "organizationalPerson", "user", "inetOrgPerson"}},
              {"cn", {"Org Person"}}});
  d.AddEntry(kNoNameUser, {{"objectClass", kUserClasses}, {"cn", {"()"}}});
}

class LdapDirectoryObjectServiceTest : public ::testing::Test {
 protected:
  LdapDirectoryObjectServiceTest()
      : service_(connector_, [this](std::span<uint8_t> bytes) {
          if (!randomWorks_) return false;
          for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
          return true;
        }) {
    AddOrganisation(Directory());
    AddRecipients(Directory());
  }

  testing::FakeLdapConnection& Directory() { return connector_.DefaultDirectory(); }

  // Binds to dn and asserts success.
  DirectoryObjectRef BindTo(const std::string& dn) {
    DirectoryObjectRef object;
    EXPECT_EQ(service_.Bind(PathOf(dn), &object), kSOk) << dn;
    return object;
  }

  // Create or move through the mailbox interface, then save; returns the
  // first failing code.
  HResult CreateAndSave(const std::string& dn, const std::string& mdb) {
    DirectoryObjectRef object = BindTo(dn);
    DirectoryObjectRef store;
    HResult hr = service_.QueryMailboxStore(object, &store);
    if (hr == kSOk) hr = service_.CreateMailbox(store, Wide(mdb));
    if (hr == kSOk) hr = service_.Save(object);
    return hr;
  }
  HResult MoveAndSave(const std::string& dn, const std::string& mdb) {
    DirectoryObjectRef object = BindTo(dn);
    DirectoryObjectRef store;
    HResult hr = service_.QueryMailboxStore(object, &store);
    if (hr == kSOk) hr = service_.MoveMailbox(store, Wide(mdb));
    if (hr == kSOk) hr = service_.Save(object);
    return hr;
  }
  HResult MailEnableAndSave(const std::string& dn, const std::string& target) {
    DirectoryObjectRef object = BindTo(dn);
    DirectoryObjectRef recipient;
    HResult hr = service_.QueryMailRecipient(object, &recipient);
    if (hr == kSOk) hr = service_.MailEnable(recipient, Wide(target));
    if (hr == kSOk) hr = service_.Save(object);
    return hr;
  }

  std::vector<std::string> OnlyModify() {
    EXPECT_EQ(Directory().modifies.size(), 1u);
    if (Directory().modifies.empty()) return {};
    return Describe(Directory().modifies.front().mods);
  }

  testing::FakeLdapConnector connector_;
  bool randomWorks_ = true;
  LdapDirectoryObjectService service_;
};

// --- Bind and sessions ---

TEST_F(LdapDirectoryObjectServiceTest, BindOpensOneSessionForTheRunWithTheNegotiateBind) {
  DirectoryObjectRef first = BindTo(kPlainUser);
  DirectoryObjectRef second = BindTo(kGroup);
  ASSERT_EQ(connector_.opens.size(), 1u);
  EXPECT_FALSE(connector_.opens[0].hasServer);
  EXPECT_EQ(connector_.opens[0].port, 389);
  ASSERT_EQ(Directory().options.size(), 1u);
  EXPECT_EQ(Directory().options[0].option, LdapOption::kVersion);
  EXPECT_EQ(Directory().options[0].value, 3);
  EXPECT_EQ(Directory().binds, std::vector<std::string>{"negotiate"});
  EXPECT_EQ(service_.OpenSessionCount(), 1u);
  // Each bind reads its object.
  ASSERT_FALSE(Directory().searches.empty());
  EXPECT_EQ(Directory().searches.back().base, kGroup);
  EXPECT_EQ(Directory().searches.back().scope, LdapScope::kBase);
}

TEST_F(LdapDirectoryObjectServiceTest, TheRunsSharedSessionIsUsedInsteadOfASecondOne) {
  testing::FakeLdapConnection runSession;
  AddOrganisation(runSession);
  AddRecipients(runSession);
  service_.ShareSession(std::nullopt, runSession);
  DirectoryObjectRef object = BindTo(kPlainUser);
  EXPECT_TRUE(connector_.opens.empty());
  EXPECT_TRUE(runSession.binds.empty());  // bound once already, by the run
  ASSERT_FALSE(runSession.searches.empty());
  EXPECT_EQ(runSession.searches.back().base, kPlainUser);
  // Another server still gets a session of its own.
  DirectoryObjectRef other;
  service_.Bind(Wide("LDAP://dc2.example.com/" + kPlainUser), &other);
  EXPECT_EQ(connector_.opens.size(), 1u);
}

TEST_F(LdapDirectoryObjectServiceTest, EachServerGetsItsOwnSessionWithItsPort) {
  AddOrganisation(connector_.Directory("dc2.example.com"));
  AddRecipients(connector_.Directory("dc2.example.com"));
  AddRecipients(connector_.Directory("dc3:3268"));
  DirectoryObjectRef a, b, c, d;
  EXPECT_EQ(service_.Bind(Wide("LDAP://dc2.example.com/" + kPlainUser), &a), kSOk);
  EXPECT_EQ(service_.Bind(Wide("LDAP://dc3:3268/" + kGroup), &b), kSOk);
  EXPECT_EQ(service_.Bind(Wide("ldap://DC2.example.com/" + kGroup), &c), kSOk);  // reused
  EXPECT_EQ(service_.Bind(PathOf(kGroup), &d), kSOk);                            // default server
  ASSERT_EQ(connector_.opens.size(), 3u);
  EXPECT_EQ(connector_.opens[0].server, "dc2.example.com");
  EXPECT_EQ(connector_.opens[0].port, 389);
  EXPECT_EQ(connector_.opens[1].server, "dc3:3268");
  EXPECT_EQ(connector_.opens[1].port, 3268);
  EXPECT_FALSE(connector_.opens[2].hasServer);
}

TEST_F(LdapDirectoryObjectServiceTest, BindFailuresReturnTheirCodesAndLeaveTheReferenceUnbound) {
  DirectoryObjectRef object;
  EXPECT_EQ(service_.Bind(Wide("CN=x,DC=y"), &object), kEAdsBadPathname);
  EXPECT_EQ(service_.Bind(u"LDAP://", &object), kEAdsBadPathname);
  EXPECT_TRUE(connector_.opens.empty());  // nothing is opened for a bad path
  EXPECT_EQ(service_.Bind(PathOf("CN=Nobody," + kUsers), &object), kEDsNoSuchObject);
  EXPECT_FALSE(object.IsBound());

  Directory().searchResult = 50;
  EXPECT_EQ(service_.Bind(PathOf(kPlainUser), &object), MakeHResult(0x80070005));
  Directory().searchResult = 34;
  EXPECT_EQ(service_.Bind(PathOf(kPlainUser), &object), MakeHResult(0x80072032));
  EXPECT_FALSE(object.IsBound());
}

TEST_F(LdapDirectoryObjectServiceTest, FailedOpenOrBindIsNotKeptAndIsTriedAgain) {
  DirectoryObjectRef object;
  connector_.openError = 0x51;
  EXPECT_EQ(service_.Bind(PathOf(kPlainUser), &object), MakeHResult(0x8007203A));
  connector_.openError = 0;
  Directory().bindResult = 49;
  EXPECT_EQ(service_.Bind(PathOf(kPlainUser), &object), MakeHResult(0x8007052E));
  EXPECT_EQ(service_.OpenSessionCount(), 0u);
  Directory().bindResult = 0;
  EXPECT_EQ(service_.Bind(PathOf(kPlainUser), &object), kSOk);
  EXPECT_EQ(connector_.opens.size(), 3u);
}

TEST_F(LdapDirectoryObjectServiceTest, ABrokenSessionFailsWithTheMappedCodeAndIsReopenedLater) {
  DirectoryObjectRef object = BindTo(kPlainUser);
  DirectoryObjectRef recipient;
  ASSERT_EQ(service_.QueryMailRecipient(object, &recipient), kSOk);
  ASSERT_EQ(service_.MailEnable(recipient, u"SMTP:js@example.net"), kSOk);
  connector_.BreakOpenSessions();
  EXPECT_EQ(service_.Save(object), MakeHResult(0x8007203A));
  EXPECT_EQ(service_.OpenSessionCount(), 0u);
  EXPECT_FALSE(Directory().Has(kPlainUser, "targetAddress"));

  // The next object gets a new session that works.
  EXPECT_EQ(MailEnableAndSave(kContact, "SMTP:ec@example.net"), kSOk);
  EXPECT_EQ(connector_.opens.size(), 2u);
  EXPECT_EQ(Directory().Value(kContact, "targetAddress"), "SMTP:ec@example.net");

  // A session that breaks during the read of a bind is dropped as well.
  connector_.BreakOpenSessions();
  DirectoryObjectRef again;
  EXPECT_EQ(service_.Bind(PathOf(kGroup), &again), MakeHResult(0x8007203A));
  EXPECT_EQ(service_.Bind(PathOf(kGroup), &again), kSOk);
  EXPECT_EQ(connector_.opens.size(), 3u);
}

TEST_F(LdapDirectoryObjectServiceTest, NeverPrints) {
  CaptureStdout();
  CaptureStderr();
  DirectoryObjectRef object;
  service_.Bind(u"nonsense", &object);
  service_.Bind(PathOf("CN=Nobody," + kUsers), &object);
  CreateAndSave(kMailboxUser, kDb1);
  Directory().modifyResult = 50;
  CreateAndSave(kPlainUser, kDb1);
  connector_.openError = 0x51;
  connector_.BreakOpenSessions();
  service_.Bind(PathOf(kGroup), &object);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(GetCapturedStderr(), "");
}

// --- Interfaces, class and references ---

TEST_F(LdapDirectoryObjectServiceTest, InterfacesFollowTheMostSpecificClass) {
  struct Case {
    std::string dn;
    HResult mailboxStore;
    HResult mailRecipient;
    std::u16string className;
  };
  const Case cases[] = {{kPlainUser, kSOk, kSOk, u"user"},
                        {kPerson, kSOk, kSOk, u"inetOrgPerson"},
                        {kGroup, kENoInterface, kSOk, u"group"},
                        {kContact, kENoInterface, kSOk, u"contact"},
                        {kComputer, kENoInterface, kENoInterface, u"computer"},
                        {kDb1, kENoInterface, kENoInterface, u"msExchPrivateMDB"}};
  for (const Case& c : cases) {
    DirectoryObjectRef object = BindTo(c.dn);
    DirectoryObjectRef store, recipient;
    EXPECT_EQ(service_.QueryMailboxStore(object, &store), c.mailboxStore) << c.dn;
    EXPECT_EQ(store.IsBound(), c.mailboxStore == kSOk) << c.dn;
    EXPECT_EQ(service_.QueryMailRecipient(object, &recipient), c.mailRecipient) << c.dn;
    std::u16string className;
    service_.GetClass(object, &className);
    EXPECT_EQ(className, c.className);
  }
}

TEST_F(LdapDirectoryObjectServiceTest, MethodsNeedTheirInterfaceAndALiveReference) {
  DirectoryObjectRef object = BindTo(kPlainUser);
  DirectoryObjectRef store, recipient;
  ASSERT_EQ(service_.QueryMailboxStore(object, &store), kSOk);
  ASSERT_EQ(service_.QueryMailRecipient(object, &recipient), kSOk);
  EXPECT_EQ(service_.CreateMailbox(object, Wide(kDb1)), kENoInterface);
  EXPECT_EQ(service_.CreateMailbox(recipient, Wide(kDb1)), kENoInterface);
  EXPECT_EQ(service_.MailEnable(store, u"SMTP:a@b"), kENoInterface);

  // Releasing an interface leaves the object usable; a released reference is not.
  const uint64_t storeHandle = store.handle();
  store.Reset();
  EXPECT_FALSE(store.IsBound());
  EXPECT_EQ(service_.CreateMailbox(DirectoryObjectRef(), Wide(kDb1)), kEPointer);
  service_.Release(storeHandle);  // a second release is ignored
  std::u16string className;
  EXPECT_EQ(service_.GetClass(object, &className), kSOk);
  object.Reset();
  EXPECT_EQ(service_.Save(object), kEPointer);
  EXPECT_EQ(service_.GetClass(object, &className), kEPointer);
  EXPECT_EQ(className, u"");
  // The recipient interface still holds the object.
  EXPECT_EQ(service_.MailEnable(recipient, u"SMTP:a@b"), kSOk);
  EXPECT_EQ(service_.Save(recipient), kSOk);
}

// --- CreateMailbox ---

TEST_F(LdapDirectoryObjectServiceTest, CreateStagesTheMailboxAndSaveWritesItInOneRequest) {
  ASSERT_EQ(CreateAndSave(kPlainUser, kDb1), kSOk);
  EXPECT_EQ(OnlyModify(), (std::vector<std::string>{
                              "homeMDB=" + kDb1,
                              "homeMTA=CN=Microsoft MTA," + kSrv1,
                              "msExchHomeServerName=" + kSrv1Legacy,
                              "mailNickname=jsmith",
                              "legacyExchangeDN=" + kAdminGroupLegacy + "/cn=Recipients/cn=jsmith",
                              "mDBUseDefaults=TRUE",
                              "msExchMailboxGuid=<16 bytes>",
                          }));
  EXPECT_EQ(Directory().modifies.front().dn, kPlainUser);
  const std::string guid = Directory().Value(kPlainUser, "msExchMailboxGuid");
  ASSERT_EQ(guid.size(), 16u);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t>(guid[i]), 0xA0 + i);
  EXPECT_EQ(Directory().Value(kPlainUser, "homeMDB"), kDb1);
}

TEST_F(LdapDirectoryObjectServiceTest, CreateKeepsAnExistingAliasAndLegacyDn) {
  Directory().AddEntry("CN=Kept," + kUsers, {{"objectClass", kUserClasses},
                                             {"sAMAccountName", {"kept"}},
                                             {"mailNickname", {"keeper"}},
                                             {"legacyExchangeDN", {"/o=Old/cn=keeper"}}});
  ASSERT_EQ(CreateAndSave("CN=Kept," + kUsers, kDb1), kSOk);
  const std::vector<std::string> mods = OnlyModify();
  for (const std::string& mod : mods) {
    EXPECT_NE(mod.rfind("mailNickname=", 0), 0u) << mod;
    EXPECT_NE(mod.rfind("legacyExchangeDN=", 0), 0u) << mod;
  }
  EXPECT_EQ(Directory().Value("CN=Kept," + kUsers, "legacyExchangeDN"), "/o=Old/cn=keeper");
}

TEST_F(LdapDirectoryObjectServiceTest, CreateReplacesALegacyDnMarkerThatAddressesNothing) {
  Directory().AddEntry("CN=Cleared," + kUsers, {{"objectClass", kUserClasses},
                                                {"cn", {"Cleared One"}},
                                                {"legacyExchangeDN", {"ADCDisabledMail"}}});
  ASSERT_EQ(CreateAndSave("CN=Cleared," + kUsers, kDb1), kSOk);
  EXPECT_EQ(Directory().Value("CN=Cleared," + kUsers, "legacyExchangeDN"),
            kAdminGroupLegacy + "/cn=Recipients/cn=ClearedOne");
}

TEST_F(LdapDirectoryObjectServiceTest, CreateOnAServerWithoutAnMtaSetsNoHomeMta) {
  ASSERT_EQ(CreateAndSave(kPerson, kDb2), kSOk);
  EXPECT_EQ(OnlyModify(),
            (std::vector<std::string>{
                "homeMDB=" + kDb2,
                "msExchHomeServerName=" + kSrv2Legacy,
                "mailNickname=OrgPerson",
                "legacyExchangeDN=" + kAdminGroupLegacy + "/cn=Recipients/cn=OrgPerson",
                "mDBUseDefaults=TRUE",
                "msExchMailboxGuid=<16 bytes>",
            }));
}

TEST_F(LdapDirectoryObjectServiceTest, CreateRefusals) {
  EXPECT_EQ(CreateAndSave(kMailboxUser, kDb3), kEObjectAlreadyExists);
  EXPECT_EQ(CreateAndSave(kPlainUser, "CN=Missing,CN=SG1,CN=InformationStore," + kSrv1),
            kEDsNoSuchObject);
  EXPECT_EQ(CreateAndSave(kPlainUser, kPublicDb), kEAdsBadParameter);
  EXPECT_EQ(CreateAndSave(kPlainUser, kSrv1), kEAdsBadParameter);  // not a database at all
  EXPECT_EQ(CreateAndSave(kPlainUser, ""), kEAdsBadParameter);
  EXPECT_EQ(CreateAndSave(kPlainUser, kOrphanDb), kEAdsBadParameter);
  EXPECT_EQ(CreateAndSave(kNoNameUser, kDb1), kEAdsPropertyInvalid);
  randomWorks_ = false;
  EXPECT_EQ(CreateAndSave(kPlainUser, kDb1), kEFail);
  EXPECT_TRUE(Directory().modifies.empty());  // nothing was staged by any of them
}

TEST_F(LdapDirectoryObjectServiceTest, CreateNeedsTheServersAndGroupsLegacyDn) {
  testing::FakeLdapConnection& d = Directory();
  const std::string ag = "CN=Bare AG,CN=Administrative Groups," + kOrg;
  const std::string srv = "CN=SRV9,CN=Servers," + ag;
  d.AddEntry(ag, {{"objectClass", {"top", "msExchAdminGroup"}}});
  d.AddEntry("CN=Servers," + ag, {{"objectClass", {"top", "container"}}});
  d.AddEntry(srv,
             {{"objectClass", {"top", "msExchExchangeServer"}}, {"legacyExchangeDN", {"/o=x"}}});
  d.AddEntry("CN=SG," + srv, {{"objectClass", {"top", "msExchStorageGroup"}}});
  d.AddEntry("CN=DB,CN=SG," + srv, {{"objectClass", {"top", "msExchPrivateMDB"}}});
  const std::string bareSrv = "CN=SRV8,CN=Servers," + kAdminGroup;
  d.AddEntry(bareSrv, {{"objectClass", {"top", "msExchExchangeServer"}}});
  d.AddEntry("CN=DB," + bareSrv, {{"objectClass", {"top", "msExchPrivateMDB"}}});

  EXPECT_EQ(CreateAndSave(kPlainUser, "CN=DB,CN=SG," + srv), kEAdsPropertyNotFound);
  EXPECT_EQ(CreateAndSave(kPlainUser, "CN=DB," + bareSrv), kEAdsPropertyNotFound);
  EXPECT_TRUE(d.modifies.empty());
}

TEST_F(LdapDirectoryObjectServiceTest, CreateReportsLookupFailuresWithTheirCodes) {
  DirectoryObjectRef object = BindTo(kPlainUser);
  DirectoryObjectRef store;
  ASSERT_EQ(service_.QueryMailboxStore(object, &store), kSOk);
  Directory().searchResult = 50;
  EXPECT_EQ(service_.CreateMailbox(store, Wide(kDb1)), MakeHResult(0x80070005));
  Directory().searchResult = 0;
  EXPECT_EQ(service_.Save(object), kSOk);
  EXPECT_TRUE(Directory().modifies.empty());
}

TEST_F(LdapDirectoryObjectServiceTest, GuidsComeFromTheSystemSourceByDefault) {
  LdapDirectoryObjectService service(connector_);
  std::vector<std::string> guids;
  for (const std::string& dn : {kPlainUser, kPerson}) {
    DirectoryObjectRef object, store;
    ASSERT_EQ(service.Bind(PathOf(dn), &object), kSOk);
    ASSERT_EQ(service.QueryMailboxStore(object, &store), kSOk);
    ASSERT_EQ(service.CreateMailbox(store, Wide(kDb1)), kSOk);
    ASSERT_EQ(service.Save(object), kSOk);
    guids.push_back(Directory().Value(dn, "msExchMailboxGuid"));
    EXPECT_EQ(guids.back().size(), 16u);
  }
  EXPECT_NE(guids[0], guids[1]);
}

// --- MoveMailbox ---

TEST_F(LdapDirectoryObjectServiceTest, MoveRehomesTheMailbox) {
  ASSERT_EQ(MoveAndSave(kMailboxUser, kDb3), kSOk);
  EXPECT_EQ(OnlyModify(),
            (std::vector<std::string>{"homeMDB=" + kDb3, "homeMTA=CN=Microsoft MTA," + kSrv1,
                                      "msExchHomeServerName=" + kSrv1Legacy}));
}

TEST_F(LdapDirectoryObjectServiceTest, MoveToAServerWithoutAnMtaDropsTheOldHomeMta) {
  ASSERT_EQ(MoveAndSave(kMailboxUser, kDb2), kSOk);
  EXPECT_EQ(OnlyModify(), (std::vector<std::string>{"homeMDB=" + kDb2, "homeMTA=",
                                                    "msExchHomeServerName=" + kSrv2Legacy}));
  EXPECT_FALSE(Directory().Has(kMailboxUser, "homeMTA"));
  EXPECT_EQ(Directory().Value(kMailboxUser, "mailNickname"), "mary");
}

TEST_F(LdapDirectoryObjectServiceTest, MoveRefusals) {
  EXPECT_EQ(MoveAndSave(kPlainUser, kDb1), kEAdsPropertyNotFound);
  EXPECT_EQ(MoveAndSave(kMailboxUser, kDb1), kEObjectAlreadyExists);
  EXPECT_EQ(MoveAndSave(kMailboxUser, "cn=db1,cn=sg1,cn=informationstore," + kSrv1),
            kEObjectAlreadyExists);
  EXPECT_EQ(MoveAndSave(kMailboxUser, "CN=Gone,CN=SG1,CN=InformationStore," + kSrv1),
            kEDsNoSuchObject);
  EXPECT_EQ(MoveAndSave(kMailboxUser, kPublicDb), kEAdsBadParameter);
  EXPECT_TRUE(Directory().modifies.empty());
}

// --- MailEnable ---

TEST_F(LdapDirectoryObjectServiceTest, MailEnablingAContactSetsItsTarget) {
  ASSERT_EQ(MailEnableAndSave(kContact, "SMTP:ec@example.net"), kSOk);
  EXPECT_EQ(OnlyModify(),
            (std::vector<std::string>{
                "targetAddress=SMTP:ec@example.net", "mailNickname=ExtContact",
                "legacyExchangeDN=" + kAdminGroupLegacy + "/cn=Recipients/cn=ExtContact",
                "mAPIRecipient=FALSE"}));
}

TEST_F(LdapDirectoryObjectServiceTest, MailEnablingAGroupIgnoresTheTarget) {
  ASSERT_EQ(MailEnableAndSave(kGroup, "SMTP:sales@example.net"), kSOk);
  EXPECT_EQ(OnlyModify(), (std::vector<std::string>{"mailNickname=SalesTeam",
                                                    "legacyExchangeDN=" + kAdminGroupLegacy +
                                                        "/cn=Recipients/cn=SalesTeam",
                                                    "reportToOriginator=TRUE"}));
  Directory().modifies.clear();
  Directory().AddEntry("CN=G2," + kUsers, {{"objectClass", {"top", "group"}}, {"cn", {"G2"}}});
  EXPECT_EQ(MailEnableAndSave("CN=G2," + kUsers, ""), kSOk);
}

TEST_F(LdapDirectoryObjectServiceTest, MailEnablingUsesTheFirstAdministrativeGroup) {
  ASSERT_EQ(MailEnableAndSave(kPlainUser, "SMTP:js@example.net"), kSOk);
  ASSERT_EQ(MailEnableAndSave(kContact, "SMTP:ec@example.net"), kSOk);
  size_t rootReads = 0;
  for (const LdapSearchRequest& search : Directory().searches) {
    if (search.base.empty()) ++rootReads;
    if (search.filter == "(objectClass=msExchAdminGroup)") {
      EXPECT_EQ(search.base, "CN=Microsoft Exchange,CN=Services," + kConfig);
      EXPECT_EQ(search.scope, LdapScope::kSubtree);
    }
  }
  EXPECT_EQ(rootReads, 1u);  // the configuration naming context is read once per session
  EXPECT_EQ(Directory().Value(kPlainUser, "legacyExchangeDN"),
            kAdminGroupLegacy + "/cn=Recipients/cn=jsmith");
  EXPECT_EQ(Directory().Value(kPlainUser, "mAPIRecipient"), "FALSE");
}

TEST_F(LdapDirectoryObjectServiceTest, MailEnableRefusals) {
  EXPECT_EQ(MailEnableAndSave(kMailboxUser, "SMTP:m@example.net"), kEObjectAlreadyExists);
  EXPECT_EQ(MailEnableAndSave(kMailContact, "SMTP:m@example.net"), kEObjectAlreadyExists);
  EXPECT_EQ(MailEnableAndSave(kContact, ""), kEAdsBadParameter);
  EXPECT_EQ(MailEnableAndSave(kPlainUser, ""), kEAdsBadParameter);
  EXPECT_TRUE(Directory().modifies.empty());
}

TEST_F(LdapDirectoryObjectServiceTest, MailEnableWithoutAnOrganisationFails) {
  testing::FakeLdapConnection& bare = connector_.Directory("bare");
  bare.AddEntry("", {{"configurationNamingContext", {kConfig}}});
  AddRecipients(bare);
  DirectoryObjectRef object, recipient;
  ASSERT_EQ(service_.Bind(Wide("LDAP://bare/" + kContact), &object), kSOk);
  ASSERT_EQ(service_.QueryMailRecipient(object, &recipient), kSOk);
  EXPECT_EQ(service_.MailEnable(recipient, u"SMTP:x@y"), kEDsNoSuchObject);
  EXPECT_EQ(service_.Save(object), kSOk);
  EXPECT_TRUE(bare.modifies.empty());
}

// --- Save ---

TEST_F(LdapDirectoryObjectServiceTest, SaveWithNothingStagedSendsNothing) {
  DirectoryObjectRef object = BindTo(kPlainUser);
  EXPECT_EQ(service_.Save(object), kSOk);
  EXPECT_TRUE(Directory().modifies.empty());
}

TEST_F(LdapDirectoryObjectServiceTest, SaveReturnsTheMappedRefusalAndChangesNothing) {
  Directory().modifyResult = 50;
  EXPECT_EQ(CreateAndSave(kPlainUser, kDb1), MakeHResult(0x80070005));
  EXPECT_FALSE(Directory().Has(kPlainUser, "homeMDB"));
  Directory().modifyResult = 19;
  EXPECT_EQ(MailEnableAndSave(kContact, "SMTP:a@b"), MakeHResult(0x8007202F));
}

TEST_F(LdapDirectoryObjectServiceTest, ASavedObjectHasNothingLeftToWrite) {
  DirectoryObjectRef object = BindTo(kPlainUser);
  DirectoryObjectRef store;
  ASSERT_EQ(service_.QueryMailboxStore(object, &store), kSOk);
  ASSERT_EQ(service_.CreateMailbox(store, Wide(kDb1)), kSOk);
  ASSERT_EQ(service_.Save(object), kSOk);
  EXPECT_EQ(service_.Save(object), kSOk);
  EXPECT_EQ(Directory().modifies.size(), 1u);
  // What was saved now counts as the object's own: a second create is refused.
  EXPECT_EQ(service_.CreateMailbox(store, Wide(kDb1)), kEObjectAlreadyExists);
}

}  // namespace
}  // namespace varnel
