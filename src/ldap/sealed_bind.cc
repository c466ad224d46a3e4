#include "ldap/sealed_bind.h"

#include <algorithm>
#include <optional>
#include <string>

namespace varnel {
namespace {

constexpr const char* kHowToLower =
    "only an explicit minssf= in SASL_SECPROPS (ldap.conf, ldaprc) or LDAPSASL_SECPROPS accepts "
    "less";

SealedBindResult Refuse(std::string why) {
  SealedBindResult result;
  result.code = kLdapStrongAuthRequired;
  result.refusal = std::move(why);
  return result;
}

}  // namespace

SealedBindResult NegotiateBindSealed(LdapConnection& session) {
  const SessionSecurity security = session.Security();
  if (security.tls) {
    // One protection is enough, and the directory refuses a second one.
    const int rc = session.SetSaslSsf({0, 0});
    if (rc != 0) return {rc, SessionProtection::kNone, 0, {}};
  } else if (!security.explicitMinSsf) {
    SaslSsfRange wanted = security.sasl;
    wanted.min = std::max(wanted.min, kSealedSsf);
    if (wanted.max < wanted.min) {
      return Refuse("The session cannot be sealed: the SASL settings allow at most " +
                    std::to_string(wanted.max) + " bits (maxssf), sealing needs " +
                    std::to_string(kSealedSsf) + "; " + kHowToLower + ".");
    }
    const int rc = session.SetSaslSsf(wanted);
    if (rc != 0) return {rc, SessionProtection::kNone, 0, {}};
  }
  // With an explicit minssf the library's own range stands as the administrator wrote it.

  SealedBindResult result;
  result.code = session.NegotiateBind();
  if (result.code != 0) {
    // Cyrus SASL's "too weak" (SASL_TOOWEAK, -15), which libldap reports as an
    // unknown authentication method: the server offered no layer strong enough.
    const std::optional<std::string> detail = session.DiagnosticMessage();
    if (!security.tls && detail && detail->find("SASL(-15)") != std::string::npos) {
      return Refuse("The server offers no sealed session (" + *detail + "); sealing needs " +
                    std::to_string(kSealedSsf) + " bits; " + kHowToLower + ".");
    }
    return result;
  }
  const BoundSecurity bound = session.Bound();
  result.saslSsf = bound.saslSsf;
  if (security.tls) {
    if (!bound.tlsInPlace)
      return Refuse("The session is not protected: TLS is not in place on the ldaps:// session.");
    result.protection = SessionProtection::kTls;
  } else if (bound.saslSsf >= kSealedSsf) {
    result.protection = SessionProtection::kSealed;
  } else if (security.explicitMinSsf && *security.explicitMinSsf < kSealedSsf) {
    result.protection = SessionProtection::kUnsealed;
  } else {
    return Refuse("The session is not sealed: SASL negotiated " + std::to_string(bound.saslSsf) +
                  " bits, sealing needs " + std::to_string(kSealedSsf) + "; " + kHowToLower + ".");
  }
  return result;
}

std::string UnsealedWarning(const SealedBindResult& result) {
  return "The session is not sealed (SASL SSF " + std::to_string(result.saslSsf) +
         "): a minssf below " + std::to_string(kSealedSsf) +
         " is set in SASL_SECPROPS or LDAPSASL_SECPROPS; the directory traffic of this run is "
         "not encrypted.";
}

}  // namespace varnel
