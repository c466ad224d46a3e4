#include "exchange/mailbox_actions.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "diag/reporter.h"
#include "exchange/object_plan.h"
#include "support/capture.h"
#include "support/fake_directory_object_service.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

// Every line of the code under test goes through this reporter.
Reporter reporter_{std::cout, std::cerr};

using Calls = std::vector<std::string>;

const std::string kDn = "CN=John Smith,CN=Users,DC=example,DC=com";
const std::string kRunMdb = "CN=DB1,CN=SG1,CN=InformationStore,CN=SRV1,CN=Servers,CN=AG";
const std::string kItemMdb = "CN=DB2,CN=SG1,CN=InformationStore,CN=SRV2,CN=Servers,CN=AG";

// A directory that notes how many service references were still held when a
// modify request went out.
class WatchingDirectory : public testing::FakeLdapConnection {
 public:
  explicit WatchingDirectory(const testing::FakeDirectoryObjectService& service)
      : service_(service) {}
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override {
    heldAtModify.push_back(service_.Outstanding());
    return FakeLdapConnection::Modify(dn, mods);
  }
  std::vector<size_t> heldAtModify;

 private:
  const testing::FakeDirectoryObjectService& service_;
};

UpdateOptions Unhide() {
  UpdateOptions options;
  options.unhideFromAddressLists = true;
  return options;
}

class MailboxActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reporter_.Configure({});
    ldap_.AddEntry(kDn, {{"objectClass", {"top", "user"}}});
    settings_.homeMdbDn = kRunMdb;
  }
  void TearDown() override { reporter_.Configure({}); }

  // Plans as the loop does, then sends the plan; returns the outcome's code.
  int32_t Create(const std::string& overrideMdb, const UpdateOptions& update) {
    settings_.update = update;
    return Run([&](ObjectPlan* plan) {
      return PlanCreateMailbox(reporter_, ldap_, settings_, kDn, overrideMdb, service_, plan);
    });
  }
  int32_t Move(const std::string& overrideMdb) {
    return Run([&](ObjectPlan* plan) {
      return PlanMoveMailbox(reporter_, settings_, kDn, overrideMdb, service_, plan);
    });
  }
  template <typename Planner>
  int32_t Run(Planner planner) {
    CaptureStdout();
    CaptureStderr();
    ObjectPlan plan;
    Outcome outcome = planner(&plan);
    if (outcome.ok()) outcome = SendPlan(reporter_, ldap_, plan);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return outcome.code();
  }

  testing::FakeDirectoryObjectService service_;
  WatchingDirectory ldap_{service_};
  RunSettings settings_;
  std::string out_;
  std::string err_;
};

TEST_F(MailboxActionsTest, CreateAndUpdateGoInOneRequest) {
  EXPECT_EQ(Create("", Unhide()), 0);
  EXPECT_EQ(service_.calls, (Calls{"Bind LDAP://" + kDn, "QueryMailboxStore object",
                                   "CreateMailbox mailboxStore " + kRunMdb, "TakeChanges object",
                                   "Release mailboxStore", "Release object"}));
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");
  // The mailbox and the update in one request, sent after every reference was released.
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(ldap_.modifies[0].dn, kDn);
  EXPECT_EQ(ldap_.modifies[0].mods.size(), 2u);
  EXPECT_EQ(ldap_.Value(kDn, "homeMDB"), "staged");
  EXPECT_EQ(ldap_.Value(kDn, "msExchHideFromAddressLists"), "FALSE");
  EXPECT_EQ(ldap_.heldAtModify, std::vector<size_t>{0});
}

TEST_F(MailboxActionsTest, RefusedRequestLeavesNoMailboxWithoutLimits) {
  ldap_.modifyResult = 50;
  EXPECT_EQ(Create("", Unhide()), MakeHResult(0x80070005));
  EXPECT_EQ(err_, " - ERROR: (SetInfo) (0x80070005) Access is denied.\n");
  EXPECT_FALSE(ldap_.Has(kDn, "homeMDB"));
  EXPECT_FALSE(ldap_.Has(kDn, "msExchHideFromAddressLists"));
  EXPECT_EQ(ExitStatus(Outcome::HResult(MakeHResult(0x80070005))), 50);
}

TEST_F(MailboxActionsTest, PathCarriesTheHostOnlyWhenGiven) {
  settings_.host = "dc1.example.com:389";
  EXPECT_EQ(Create("", {}), 0);
  EXPECT_EQ(service_.calls.front(), "Bind LDAP://dc1.example.com:389/" + kDn);
  service_.calls.clear();
  EXPECT_EQ(Move(""), 0);
  EXPECT_EQ(service_.calls.front(), "Bind LDAP://dc1.example.com:389/" + kDn);
}

TEST_F(MailboxActionsTest, TheItemsDatabaseBeatsTheRunsDatabase) {
  EXPECT_EQ(Create(kItemMdb, {}), 0);
  EXPECT_EQ(service_.calls[2], "CreateMailbox mailboxStore " + kItemMdb);
  settings_.homeMdbDn.clear();
  service_.calls.clear();
  EXPECT_EQ(Move(kItemMdb), 0);
  EXPECT_EQ(service_.calls[2], "MoveMailbox mailboxStore " + kItemMdb);
  EXPECT_EQ(out_, "");
}

TEST_F(MailboxActionsTest, NoDatabaseAtAllStopsBeforeBinding) {
  settings_.homeMdbDn.clear();
  EXPECT_EQ(Create("", Unhide()), -1);
  EXPECT_EQ(out_, " - No valid homeMDB value.\n");
  EXPECT_EQ(Move(""), -1);
  EXPECT_EQ(out_, " - No valid homeMDB value.\n");
  EXPECT_EQ(err_, "");
  EXPECT_TRUE(service_.calls.empty());
  EXPECT_TRUE(ldap_.modifies.empty());
}

TEST_F(MailboxActionsTest, DebugShowsThePath) {
  reporter_.Configure({false, true});
  EXPECT_EQ(Create("", {}), 0);
  EXPECT_EQ(out_, "DEBUG: [LDAP://" + kDn + "]\nDEBUG: uErr=0\n");
  EXPECT_EQ(Move(""), 0);
  EXPECT_EQ(out_, "DEBUG: [LDAP://" + kDn + "]\nDEBUG: uErr=0\n");
}

// One failing step of create or move: what is printed, the status, and that
// nothing after it runs and every reference is released.
struct StepFailure {
  std::string name;
  bool create;
  void (*fail)(testing::FakeDirectoryObjectService&, testing::FakeLdapConnection&);
  int32_t status;
  std::string out;
  std::string err;
  Calls calls;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StepFailure& c, std::ostream* os) { *os << c.name; }

class MailboxStepFailureTest : public MailboxActionsTest,
                               public ::testing::WithParamInterface<StepFailure> {};

TEST_P(MailboxStepFailureTest, PrintsAndStops) {
  const StepFailure& c = GetParam();
  c.fail(service_, ldap_);
  const int32_t status = c.create ? Create("", Unhide()) : Move("");
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(out_, c.out);
  EXPECT_EQ(err_, c.err);
  EXPECT_EQ(service_.calls, c.calls);
  EXPECT_EQ(service_.Outstanding(), 0u);
  EXPECT_FALSE(ldap_.Has(kDn, "homeMDB"));  // nothing written after a failure
  EXPECT_FALSE(ldap_.Has(kDn, "msExchHideFromAddressLists"));
}

const std::string kBind = "Bind LDAP://" + kDn;

INSTANTIATE_TEST_SUITE_P(
    Steps, MailboxStepFailureTest,
    ::testing::Values(
        StepFailure{"CreateBind", true,
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.bindResult = MakeHResult(0x80005000);
                    },
                    MakeHResult(0x80005000), "adsi error\n",
                    " - ERROR: (ADsGetObject) (0x80005000) E_ADS_BAD_PATHNAME", Calls{kBind}},
        StepFailure{"CreateQuery", true,
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.queryResult = kENoInterface;
                    },
                    kENoInterface, " - No MailBox Create function for this object type.\n", "",
                    Calls{kBind, "QueryMailboxStore object", "Release object"}},
        StepFailure{
            "CreateMethod", true,
            [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
              s.createResult = MakeHResult(0x80071392);
            },
            MakeHResult(0x80071392), "",
            " - ERROR: (CreateMailBox) (0x80071392) The object already exists.\n",
            Calls{kBind, "QueryMailboxStore object", "CreateMailbox mailboxStore " + kRunMdb,
                  "Release mailboxStore", "Release object"}},
        StepFailure{
            "CreateSave", true,
            [](testing::FakeDirectoryObjectService&, testing::FakeLdapConnection& d) {
              d.modifyResult = 50;
            },
            MakeHResult(0x80070005), "", " - ERROR: (SetInfo) (0x80070005) Access is denied.\n",
            Calls{kBind, "QueryMailboxStore object", "CreateMailbox mailboxStore " + kRunMdb,
                  "TakeChanges object", "Release mailboxStore", "Release object"}},
        StepFailure{
            "MoveBind", false,
            [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
              s.bindResult = MakeHResult(0x80072030);
            },
            MakeHResult(0x80072030), "",
            " - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n",
            Calls{kBind}},
        StepFailure{"MoveQuery", false,
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.queryResult = kENoInterface;
                    },
                    kENoInterface, " - No MailBox Move function for this object type.\n", "",
                    Calls{kBind, "QueryMailboxStore object", "Release object"}},
        StepFailure{"MoveMethod", false,
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.moveResult = MakeHResult(0x8000500D);
                    },
                    MakeHResult(0x8000500D), "adsi error\n",
                    " - ERROR: (MoveMailBox) (0x8000500d) E_ADS_PROPERTY_NOT_FOUND",
                    Calls{kBind, "QueryMailboxStore object", "MoveMailbox mailboxStore " + kRunMdb,
                          "Release mailboxStore", "Release object"}},
        StepFailure{"MoveSave", false,
                    [](testing::FakeDirectoryObjectService&, testing::FakeLdapConnection& d) {
                      d.modifyResult = 0x51;
                    },
                    MakeHResult(0x8007203A), "",
                    " - ERROR: (SetInfo) (0x8007203a) The server is not operational.\n",
                    Calls{kBind, "QueryMailboxStore object", "MoveMailbox mailboxStore " + kRunMdb,
                          "TakeChanges object", "Release mailboxStore", "Release object"}}),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return info.param.name; });

TEST_F(MailboxActionsTest, MoveBindsMovesTakesTheChangesAndReleases) {
  EXPECT_EQ(Move(""), 0);
  EXPECT_EQ(service_.calls, (Calls{"Bind LDAP://" + kDn, "QueryMailboxStore object",
                                   "MoveMailbox mailboxStore " + kRunMdb, "TakeChanges object",
                                   "Release mailboxStore", "Release object"}));
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");
}

}  // namespace
}  // namespace varnel
