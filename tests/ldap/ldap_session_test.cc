#include "ldap/ldap_session.h"

#include <gtest/gtest.h>

#include "ldap/kerberos_ticket.h"
#include "ldap/ldap_error.h"
#include "ldap/result_codes.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"

namespace varnel {
namespace {

using varnel::testing::FakeLdapConnection;

// Forwards every call to a fake that the connector keeps, so tests can look
// at the fake after OpenLDAP has dropped the session.
class Forwarding : public LdapConnection {
 public:
  explicit Forwarding(FakeLdapConnection* target) : target_(target) {}
  int SetOption(LdapOption o, int v) override { return target_->SetOption(o, v); }
  int NegotiateBind() override { return target_->NegotiateBind(); }
  SessionSecurity Security() override { return target_->Security(); }
  int SetSaslSsf(const SaslSsfRange& r) override { return target_->SetSaslSsf(r); }
  BoundSecurity Bound() override { return target_->Bound(); }
  bool TlsSetupFailed() override { return target_->TlsSetupFailed(); }
  int Search(const LdapSearchRequest& r, std::vector<LdapEntry>* e) override {
    return target_->Search(r, e);
  }
  int Modify(const std::string& d, const std::vector<LdapModification>& m) override {
    return target_->Modify(d, m);
  }
  std::optional<std::string> DiagnosticMessage() override { return target_->DiagnosticMessage(); }
  std::optional<std::string> MissingTicketCache() override { return target_->MissingTicketCache(); }

 private:
  FakeLdapConnection* target_;
};

// Hands out one prepared fake session and remembers how it was asked.
class OneSessionConnector : public LdapConnector {
 public:
  std::unique_ptr<LdapConnection> Open(const ServerAddress* server, int* systemError) override {
    openedServer = server ? server->Url() : "(none)";
    openedPort = server ? server->port : 389;
    if (failOpen) {
      *systemError = 0x59;
      return nullptr;
    }
    return std::make_unique<Forwarding>(last);
  }
  std::unique_ptr<FakeLdapConnection> session = std::make_unique<FakeLdapConnection>();
  FakeLdapConnection* last = session.get();
  bool failOpen = false;
  std::string openedServer;
  int openedPort = 0;
};

class LdapSessionTest : public ::testing::Test {
 protected:
  testing::CapturedReporter reporter_;
};

TEST(DisplayServerTextTest, CutsPortAndNamesDotLocalhost) {
  EXPECT_EQ(DisplayServerText(std::nullopt), "");
  EXPECT_EQ(DisplayServerText("srv:3269"), "srv");
  EXPECT_EQ(DisplayServerText("."), "localhost");
  EXPECT_EQ(DisplayServerText(".:389"), "localhost");
  EXPECT_EQ(DisplayServerText("dc1.example.com"), "dc1.example.com");
}

TEST(ErrorLineTest, FormatsCodeInHexAndDecimalWithLibraryText) {
  testing::CapturedReporter reporter;
  LdapReportError(reporter, "LDAP_BIND", "srv", 0x51, nullptr);
  LdapReportError(reporter, "", "", 50, nullptr);
  PrintSearchError(reporter, 4);
  EXPECT_EQ(reporter.TakeErr(),
            "LDAP_BIND: [srv] Error 0x51 (81) - Can't contact LDAP server\n"
            ": [] Error 0x32 (50) - Insufficient access\n"
            "LDAP_SEARCH_S: 0x4\nLDAP_SEARCH_S: Size limit exceeded\n\n");
}

TEST(ErrorLineTest, ExtendedErrorOnlyWithSessionAndText) {
  testing::CapturedReporter reporter;
  FakeLdapConnection session;
  session.diagnostic = "8009030C: LdapErr: DSID-0C0904DC";
  LdapReportError(reporter, "LDAP_BIND", "", 49, &session);
  EXPECT_EQ(reporter.TakeErr(),
            "LDAP_BIND: [] Error 0x31 (49) - Invalid credentials\n"
            "Extended Error: (8009030C: LdapErr: DSID-0C0904DC)\n");
}

TEST(ResultCodesTest, ClientSideCodesBecome0x51To0x61) {
  EXPECT_EQ(NormalizeLdapCode(-1), 0x51);
  EXPECT_EQ(NormalizeLdapCode(-12), 0x5c);
  EXPECT_EQ(NormalizeLdapCode(-17), 0x61);
  EXPECT_EQ(NormalizeLdapCode(-18), -18);
  EXPECT_EQ(NormalizeLdapCode(32), 32);
  EXPECT_STREQ(LdapErrorText(0x51), "Can't contact LDAP server");
  EXPECT_STREQ(LdapErrorText(0), "Success");
}

TEST_F(LdapSessionTest, RunParametersBindNegotiateAsCurrentUserWithVersion3) {
  OneSessionConnector connector;
  std::unique_ptr<LdapConnection> session = OpenLDAP(reporter_, connector, OpenLdapParams{});
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(connector.openedServer, "(none)");
  EXPECT_EQ(connector.openedPort, 389);
  ASSERT_EQ(connector.last->options.size(), 1u);
  EXPECT_EQ(connector.last->options[0].option, LdapOption::kVersion);
  EXPECT_EQ(connector.last->options[0].value, 3);
  EXPECT_EQ(connector.last->binds, 1u);
}

TEST_F(LdapSessionTest, DebugDumpAndTraces) {
  reporter_.Configure({false, true});
  OneSessionConnector connector;
  OpenLdapParams params;
  params.server = "srv:3269";
  auto session = OpenLDAP(reporter_, connector, params);
  ASSERT_NE(session, nullptr);
  std::string err = reporter_.TakeErr();
  std::string out = reporter_.TakeOut();
  EXPECT_EQ(out,
            "DEBUG: In OpenLDAP... Params:\n"
            "DEBUG:    Server:    srv:3269\n"
            "DEBUG:    Port:        3269\n"
            "DEBUG:    Ref:       1\n"
            "DEBUG:    V3:        1\n"
            "DEBUG:    Anonymous: 0\n"
            "DEBUG:    userdn: \n"
            "DEBUG:    password: \n"
            "DEBUG:    Simple: 0\n"
            "DEBUG:    LDAP_OPT_ENCRYPT: 0\n"
            "DEBUG:    Extended Error Info: 0\n"
            "DEBUG: SASL SSF: 256\n"
            "DEBUG: TLS: 0\n");
  EXPECT_EQ(err,
            "LDAP_OPTION: Version 3\n"
            "LDAP_BIND: [srv:3269] Successful\n");
  EXPECT_EQ(connector.openedPort, 3269);
}

TEST_F(LdapSessionTest, NullServerTracesAsNull) {
  reporter_.Configure({false, true});
  OneSessionConnector connector;
  auto session = OpenLDAP(reporter_, connector, OpenLdapParams{});
  ASSERT_NE(session, nullptr);
  std::string err = reporter_.TakeErr();
  std::string out = reporter_.TakeOut();
  EXPECT_EQ(out.find("Server:"), std::string::npos);
  EXPECT_NE(err.find("LDAP_BIND: [(null)] Successful\n"), std::string::npos);
}

TEST_F(LdapSessionTest, FailedOptionIsReportedButTheBindStillHappens) {
  OneSessionConnector connector;
  connector.session->optionResult = 0x59;
  auto session = OpenLDAP(reporter_, connector, OpenLdapParams{.server = "dc1:389"});
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "LDAP_OPTION (Version3): : [dc1] Error 0x59 (89) - Bad parameter to an ldap routine\n");
  EXPECT_EQ(connector.last->binds, 1u);
}

TEST_F(LdapSessionTest, FailedBindPrintsErrorLineAndReturnsNull) {
  OneSessionConnector connector;
  connector.session->bindResult = 0x51;
  connector.session->diagnostic = "should not show";
  EXPECT_EQ(OpenLDAP(reporter_, connector, OpenLdapParams{.server = "127.0.0.1:1"}), nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\n");
}

TEST_F(LdapSessionTest, ExtendedErrorInfoAddsServerText) {
  OneSessionConnector connector;
  connector.session->bindResult = 49;
  connector.session->diagnostic = "bad ticket";
  EXPECT_EQ(OpenLDAP(reporter_, connector, OpenLdapParams{.extendedErrorInfo = true}), nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "LDAP_BIND: [] Error 0x31 (49) - Invalid credentials\nExtended Error: (bad ticket)\n");
}

TEST_F(LdapSessionTest, FailedNegotiateBindShowsTheLibrarysReasonThenWhatToDo) {
  OneSessionConnector connector;
  connector.session->bindResult = kLdapLocalError;
  connector.session->diagnostic =
      "SASL(-1): generic failure:\x1b[2J GSSAPI Error: (No Kerberos credentials available)\n";
  connector.session->missingTicketCache = "FILE:/tmp/none";
  EXPECT_EQ(OpenLDAP(reporter_, connector, OpenLdapParams{.server = "dc1:389"}), nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "LDAP_BIND: [dc1] Error 0x52 (82) - Local error\n"
            "ERROR: LDAP_BIND: [dc1] Reason: SASL(-1): generic failure: [2J GSSAPI Error: (No "
            "Kerberos credentials available)\n"
            "ERROR: No valid Kerberos ticket was found in the credential cache FILE:/tmp/none; "
            "run kinit to get one.\n");
}

TEST(KerberosAdviceTest, NamesWhatToDoForTheCommonCauses) {
  const auto advice = [](std::string_view diagnostic, std::string_view server) {
    return KerberosAdviceLine(diagnostic, server).value_or("(none)");
  };
  const std::string unknown =
      "ERROR: Kerberos does not know the server by the name it was reached under";
  EXPECT_EQ(advice("GSSAPI Error: (Server not found in Kerberos database)", "")
                .rfind(unknown + ": give -h the domain controller's full DNS name, or change "
                                 "LDAPSASL_NOCANON",
                       0),
            0u);
  EXPECT_EQ(advice("GSSAPI Error: Server (ldap/10.0.0.5@EXAMPLE.COM) unknown", "10.0.0.5")
                .rfind(unknown + " (10.0.0.5): give -h", 0),
            0u);
  EXPECT_NE(advice("GSSAPI Error: (clock skew too great)", "dc1").find("clocks of this machine"),
            std::string::npos);
  EXPECT_EQ(advice("SASL(-1): generic failure: (Ticket expired)", "dc1"), "(none)");
}

TEST_F(LdapSessionTest, InitFailureUsesLdapInitLabel) {
  OneSessionConnector connector;
  connector.failOpen = true;
  EXPECT_EQ(OpenLDAP(reporter_, connector, OpenLdapParams{.server = "."}), nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "LDAP_INIT: [localhost] Error 0x59 (89) - Bad parameter to an ldap routine\n");
}

}  // namespace
}  // namespace varnel
