#include "ldap/sealed_bind.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ldap/ldap_session.h"
#include "support/capture.h"
#include "support/fake_ldap_connection.h"
#include "support/fake_ldap_connector.h"

namespace varnel {
namespace {

using varnel::testing::FakeLdapConnection;
using varnel::testing::FakeLdapConnector;

constexpr unsigned kNoLimit = 0x7fffffff;

TEST(SealedBindTest, ByDefaultTheMinimumIsRaisedToSealing) {
  FakeLdapConnection session;
  SealedBindResult r = NegotiateBindSealed(session);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.protection, SessionProtection::kSealed);
  EXPECT_EQ(r.saslSsf, 256u);
  ASSERT_EQ(session.saslRanges.size(), 1u);
  EXPECT_EQ(session.saslRanges[0].min, kSealedSsf);
  EXPECT_EQ(session.saslRanges[0].max, kNoLimit);

  // A server that cannot seal fails the bind in the SASL library, which says so.
  FakeLdapConnection weak;
  weak.serverMaxSsf = 1;
  weak.diagnostic = "SASL(-15): mechanism too weak for this user: ";
  r = NegotiateBindSealed(weak);
  EXPECT_EQ(r.code, kLdapStrongAuthRequired);
  EXPECT_EQ(r.refusal.rfind("The server offers no sealed session (SASL(-15)", 0), 0u) << r.refusal;
  // Other failures keep their own code and line.
  weak.diagnostic = "SASL(-4): no mechanism available: No worthy mechs found";
  r = NegotiateBindSealed(weak);
  EXPECT_EQ(r.code, 0x56);
  EXPECT_TRUE(r.refusal.empty());
}

TEST(SealedBindTest, MaxssfWithoutAnExplicitMinssfIsRefusedBeforeBinding) {
  FakeLdapConnection session;
  session.security.sasl = {0, 0};  // LDAPSASL_SECPROPS=maxssf=0
  SealedBindResult r = NegotiateBindSealed(session);
  EXPECT_EQ(r.code, kLdapStrongAuthRequired);
  EXPECT_NE(r.refusal.find("at most 0 bits"), std::string::npos) << r.refusal;
  EXPECT_EQ(session.binds, 0u);
}

TEST(SealedBindTest, AnExplicitLowerMinimumStandsAndIsReported) {
  FakeLdapConnection session;
  session.security = {false, {0, 0}, 0u};  // minssf=0,maxssf=0
  SealedBindResult r = NegotiateBindSealed(session);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.protection, SessionProtection::kUnsealed);
  EXPECT_EQ(r.saslSsf, 0u);
  EXPECT_TRUE(session.saslRanges.empty());  // the administrator's range is not touched

  // minssf=0 alone: the layer is still negotiated, so nothing to warn about.
  FakeLdapConnection sealed;
  sealed.security = {false, {0, kNoLimit}, 0u};
  EXPECT_EQ(NegotiateBindSealed(sealed).protection, SessionProtection::kSealed);
}

TEST(SealedBindTest, AnUnsealedSessionWithoutPermissionIsRefusedAfterTheBind) {
  // The library let a bind through below the minimum it was given.
  class Lax : public FakeLdapConnection {
    int SetSaslSsf(const SaslSsfRange&) override { return 0; }
  } session;
  session.serverMaxSsf = 1;
  SealedBindResult r = NegotiateBindSealed(session);
  EXPECT_EQ(r.code, kLdapStrongAuthRequired);
  EXPECT_EQ(session.binds, 1u);
  EXPECT_NE(r.refusal.find("negotiated 1 bits"), std::string::npos) << r.refusal;
}

TEST(SealedBindTest, OverTlsNoSaslLayerIsAskedForAndTlsMustBeInPlace) {
  FakeLdapConnection session;
  session.security = {true, {0, kNoLimit}, std::nullopt};
  session.tlsInPlace = true;
  SealedBindResult r = NegotiateBindSealed(session);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.protection, SessionProtection::kTls);
  ASSERT_EQ(session.saslRanges.size(), 1u);
  EXPECT_EQ(session.saslRanges[0].min, 0u);
  EXPECT_EQ(session.saslRanges[0].max, 0u);

  FakeLdapConnection noTls;
  noTls.security.tls = true;
  r = NegotiateBindSealed(noTls);
  EXPECT_EQ(r.code, kLdapStrongAuthRequired);
}

// Through OpenLDAP: the lines a run shows.
class SealedSessionLinesTest : public ::testing::Test {
 protected:
  testing::CapturedReporter reporter_;
  FakeLdapConnector connector_;
  FakeLdapConnection& directory_ = connector_.Directory("dc1:389");
  std::unique_ptr<LdapConnection> Open() {
    return OpenLDAP(reporter_, connector_, OpenLdapParams{.server = "dc1"});
  }
};

TEST_F(SealedSessionLinesTest, RefusalIsOneErrorLineAndNoSession) {
  directory_.security.sasl = {0, 0};
  EXPECT_EQ(Open(), nullptr);
  const std::string err = reporter_.TakeErr();
  EXPECT_EQ(err.rfind("ERROR: LDAP_BIND: [dc1] The session cannot be sealed", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(SealedSessionLinesTest, UnsealedOnPurposeWarnsAndGoesOn) {
  directory_.security = {false, {0, 0}, 0u};
  EXPECT_NE(Open(), nullptr);
  EXPECT_EQ(reporter_.TakeErr(),
            "WARNING: LDAP_BIND: [dc1] The session is not sealed (SASL SSF 0): a minssf below 56 "
            "is set in SASL_SECPROPS or LDAPSASL_SECPROPS; the directory traffic of this run is "
            "not encrypted.\n");
}

TEST_F(SealedSessionLinesTest, FailedTlsSetupIsNamedAfterTheBindError) {
  directory_.bindResult = 0x51;
  directory_.tlsSetupFailed = true;
  EXPECT_EQ(Open(), nullptr);
  const std::string err = reporter_.TakeErr();
  EXPECT_NE(err.find("LDAP_BIND: [dc1] Error 0x51 (81) - Can't contact LDAP server\n"
                     "ERROR: TLS: [dc1] The server was reached but TLS failed: its certificate"),
            std::string::npos)
      << err;
}

}  // namespace
}  // namespace varnel
