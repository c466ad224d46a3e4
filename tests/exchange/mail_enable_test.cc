#include "exchange/mail_enable.h"

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

const std::string kDn = "CN=Ext Contact,CN=Users,DC=example,DC=com";
const std::string kBare = "CN=Bare Contact,CN=Users,DC=example,DC=com";
const std::string kBind = "Bind LDAP://" + kDn;

// The switches a test run gives: -keepmail and -uhfal.
struct Switches {
  bool keepMail = false;
  bool unhide = false;
};
const Switches kPlain{};
const Switches kKeep{.keepMail = true};
const Switches kUnhide{.unhide = true};

class MailEnableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reporter_.Configure({});
    ldap_.AddEntry(kDn, {{"objectClass", {"top", "contact"}}, {"mail", {"ext@example.net"}}});
    ldap_.AddEntry(kBare, {{"objectClass", {"top", "contact"}}});
    settings_.targetAddress = "me@example.org";
    service_.className = u"contact";
    service_.changes = {{LdapModification::Op::kReplace, "targetAddress", {"staged"}}};
  }
  void TearDown() override { reporter_.Configure({}); }

  // Plans as the loop does, then sends the plan; returns the outcome's code.
  int32_t Enable(const std::string& dn, const std::string& overrideEmail,
                 const Switches& switches) {
    settings_.keepMail = switches.keepMail;
    settings_.update.unhideFromAddressLists = switches.unhide;
    CaptureStdout();
    CaptureStderr();
    ObjectPlan plan;
    Outcome outcome =
        PlanMailEnable(reporter_, ldap_, settings_, dn, overrideEmail, service_, &plan);
    if (outcome.ok()) outcome = SendPlan(reporter_, ldap_, plan);
    const int32_t status = outcome.code();
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return status;
  }

  // The target that reached the service's MailEnable.
  std::string TargetSent() const {
    for (const std::string& call : service_.calls) {
      if (call.rfind("MailEnable mailRecipient ", 0) == 0)
        return call.substr(std::string("MailEnable mailRecipient ").size());
    }
    return "<not called>";
  }

  std::vector<std::string> ModifiedAttributes() const {
    std::vector<std::string> names;
    for (const auto& call : ldap_.modifies)
      for (const LdapModification& mod : call.mods)
        if (mod.type != "targetAddress")  // the service's own change, staged by the fake
          names.push_back(mod.type + "=" + (mod.values.empty() ? "" : mod.values.front()));
    return names;
  }

  testing::FakeLdapConnection ldap_;
  testing::FakeDirectoryObjectService service_;
  RunSettings settings_;
  std::string out_;
  std::string err_;
};

TEST_F(MailEnableTest, EnablementEncodingAndUpdateGoInOneRequest) {
  EXPECT_EQ(Enable(kDn, "", kUnhide), 0);
  EXPECT_EQ(
      service_.calls,
      (Calls{kBind, "QueryMailRecipient object", "MailEnable mailRecipient SMTP:me@example.org",
             "GetClass object", "TakeChanges object", "Release mailRecipient", "Release object"}));
  EXPECT_EQ(ModifiedAttributes(), (std::vector<std::string>{"internetEncoding=1310720",
                                                            "msExchHideFromAddressLists=FALSE"}));
  ASSERT_EQ(ldap_.modifies.size(), 1u);
  EXPECT_EQ(ldap_.modifies[0].dn, kDn);
  EXPECT_EQ(ldap_.modifies[0].mods.front().type, "targetAddress");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "");
}

TEST_F(MailEnableTest, TargetAddressRules) {
  struct Case {
    std::string runTarget;
    Switches switches;
    std::string dn;
    std::string overrideEmail;
    std::string sent;
  };
  const Case cases[] = {
      {"me@example.org", kPlain, kDn, "", "SMTP:me@example.org"},
      {"smtp:me@example.org", kPlain, kDn, "", "smtp:me@example.org"},
      {"X400:c=US;a= ;p=Org;o=Ex;s=Smith", kPlain, kDn, "", "X400:c=US;a= ;p=Org;o=Ex;s=Smith"},
      {"odd@host:25", kPlain, kDn, "", "odd@host:25"},  // a colon anywhere: left alone
      {"me@example.org", kKeep, kDn, "", "SMTP:ext@example.net"},
      {"me@example.org", kKeep, kBare, "", "SMTP:me@example.org"},
      {"me@example.org", kKeep, kDn, "line@example.com", "SMTP:line@example.com"},
      {"me@example.org", kPlain, kDn, "SMTP:line@example.com", "SMTP:line@example.com"},
      {"", kPlain, kDn, "", ""},
      {"", kKeep, kBare, "", ""},
  };
  for (const Case& c : cases) {
    service_.calls.clear();
    settings_.targetAddress = c.runTarget;
    EXPECT_EQ(Enable(c.dn, c.overrideEmail, c.switches), 0);
    EXPECT_EQ(TargetSent(), c.sent) << c.runTarget << " / " << c.overrideEmail;
  }
}

TEST_F(MailEnableTest, KeepmailReadsMailBelowTheObject) {
  EXPECT_EQ(Enable(kDn, "", kKeep), 0);
  ASSERT_EQ(ldap_.searches.size(), 1u);
  EXPECT_EQ(ldap_.searches[0].base, kDn);
  EXPECT_EQ(ldap_.searches[0].filter, "(objectclass=*)");
  EXPECT_EQ(ldap_.searches[0].scope, LdapScope::kSubtree);
  EXPECT_EQ(ldap_.searches[0].attributes, std::vector<std::string>{"mail"});
  ldap_.searches.clear();
  EXPECT_EQ(Enable(kDn, "", kPlain), 0);
  EXPECT_TRUE(ldap_.searches.empty());
}

TEST_F(MailEnableTest, AFailedKeepmailReadLeavesTheRunsTargetAndGoesOn) {
  ldap_.searchResult = 50;
  EXPECT_EQ(Enable(kDn, "", kKeep), 0);
  EXPECT_EQ(TargetSent(), "SMTP:me@example.org");
  EXPECT_EQ(err_.rfind("LDAP_SEARCH_S: 0x32\n", 0), 0u) << err_;
}

TEST_F(MailEnableTest, EncodingIsWrittenForEverythingButGroups) {
  struct Case {
    std::u16string className;
    HResult getClassResult;
    bool written;
  };
  const Case cases[] = {{u"contact", 0, true},
                        {u"user", 0, true},
                        {u"group", 0, false},
                        {u"msExchDynamicgroup", 0, false},  // any text holding "group"
                        {u"Group", 0, true},                // the test is case-sensitive
                        {u"", kEAdsPropertyNotFound, true}};
  settings_.internetEncoding = "917504";
  for (const Case& c : cases) {
    ldap_.modifies.clear();
    service_.className = c.className;
    service_.getClassResult = c.getClassResult;
    EXPECT_EQ(Enable(kDn, "", kPlain), 0);
    EXPECT_EQ(ModifiedAttributes(), c.written ? std::vector<std::string>{"internetEncoding=917504"}
                                              : std::vector<std::string>{});
  }
}

TEST_F(MailEnableTest, ARefusedRequestIsTheItemsFailureAndChangesNothing) {
  ldap_.modifyResult = 50;
  EXPECT_EQ(Enable(kDn, "", kUnhide), MakeHResult(0x80070005));
  EXPECT_EQ(err_, " - ERROR: (SetInfo) (0x80070005) Access is denied.\n");
  EXPECT_FALSE(ldap_.Has(kDn, "internetEncoding"));
  EXPECT_FALSE(ldap_.Has(kDn, "targetAddress"));
}

TEST_F(MailEnableTest, DebugTracesComeInOrder) {
  reporter_.Configure({false, true});
  EXPECT_EQ(Enable(kDn, "", kPlain), 0);
  const std::string expectedStart = "DEBUG: ADSPATH [LDAP://" + kDn +
                                    "]\n"
                                    "DEBUG: Email [SMTP:me@example.org]\n"
                                    "DEBUG: objectclass=contact\n"
                                    "DEBUG: uErr=0\n";
  EXPECT_EQ(out_.substr(0, expectedStart.size()), expectedStart);
}

TEST_F(MailEnableTest, PathCarriesTheHost) {
  settings_.host = "dc1";
  EXPECT_EQ(Enable(kDn, "", kPlain), 0);
  EXPECT_EQ(service_.calls.front(), "Bind LDAP://dc1/" + kDn);
}

struct StepFailure {
  std::string name;
  void (*fail)(testing::FakeDirectoryObjectService&, testing::FakeLdapConnection&);
  int32_t status;
  std::string out;
  std::string err;
  Calls calls;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StepFailure& c, std::ostream* os) { *os << c.name; }

class MailEnableStepFailureTest : public MailEnableTest,
                                  public ::testing::WithParamInterface<StepFailure> {};

TEST_P(MailEnableStepFailureTest, PrintsAndStops) {
  const StepFailure& c = GetParam();
  c.fail(service_, ldap_);
  EXPECT_EQ(Enable(kDn, "", kUnhide), c.status);
  EXPECT_EQ(out_, c.out);
  EXPECT_EQ(err_, c.err);
  EXPECT_EQ(service_.calls, c.calls);
  EXPECT_EQ(service_.Outstanding(), 0u);
  EXPECT_FALSE(ldap_.Has(kDn, "internetEncoding"));  // nothing of the change was written
  EXPECT_FALSE(ldap_.Has(kDn, "msExchHideFromAddressLists"));
}

const std::string kEnable = "MailEnable mailRecipient SMTP:me@example.org";

INSTANTIATE_TEST_SUITE_P(
    Steps, MailEnableStepFailureTest,
    ::testing::Values(
        StepFailure{"Bind",
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.bindResult = MakeHResult(0x80070005);
                    },
                    MakeHResult(0x80070005), "",
                    " - ERROR: (ADsGetObject) (0x80070005) Access is denied.\n", Calls{kBind}},
        StepFailure{"Query",
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.queryResult = kENoInterface;
                    },
                    kENoInterface, " - No MailEnable function for this object type.\n", "",
                    Calls{kBind, "QueryMailRecipient object", "Release object"}},
        StepFailure{"Method",
                    [](testing::FakeDirectoryObjectService& s, testing::FakeLdapConnection&) {
                      s.mailEnableResult = MakeHResult(0x80005008);
                    },
                    MakeHResult(0x80005008), "adsi error\n",
                    " - ERROR: (MailEnable) (0x80005008) E_ADS_BAD_PARAMETER",
                    Calls{kBind, "QueryMailRecipient object", kEnable, "Release mailRecipient",
                          "Release object"}},
        StepFailure{"Save",
                    [](testing::FakeDirectoryObjectService&, testing::FakeLdapConnection& d) {
                      d.modifyResult = 0x44;
                    },
                    MakeHResult(0x80071392), "",
                    " - ERROR: (SetInfo) (0x80071392) The object already exists.\n",
                    Calls{kBind, "QueryMailRecipient object", kEnable, "GetClass object",
                          "TakeChanges object", "Release mailRecipient", "Release object"}}),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return info.param.name; });

}  // namespace
}  // namespace varnel
