// The negotiate bind under the sealing rule: a Kerberos session is sealed
// (a SASL security layer of at least 56 bits) unless TLS protects it, or the
// administrator lowered the minimum on purpose with an explicit minssf= in
// the LDAP settings (see sasl_settings.h). Over TLS no SASL layer is asked
// for: Active Directory refuses signing or sealing inside TLS.
#pragma once

#include <string>

#include "ldap/ldap_connection.h"

namespace varnel {

inline constexpr unsigned kSealedSsf = 56;

enum class SessionProtection {
  kNone,      // the bind failed or was refused
  kTls,       // ldaps://: TLS protects the session, SASL adds no layer
  kSealed,    // a SASL layer of kSealedSsf bits or more
  kUnsealed,  // less, because the administrator set a lower minssf explicitly
};

struct SealedBindResult {
  int code = 0;  // 0, the bind's result code, or kLdapStrongAuthRequired when refused
  SessionProtection protection = SessionProtection::kNone;
  unsigned saslSsf = 0;
  // Set when the rule refused the session: why, as one line of text.
  std::string refusal;
};

// Result code of a session the rule refuses ("Strong(er) authentication required").
inline constexpr int kLdapStrongAuthRequired = 8;

// Sets the SASL range the rule asks for, binds, and judges what was negotiated.
SealedBindResult NegotiateBindSealed(LdapConnection& session);

// The warning for a session left unsealed on purpose.
std::string UnsealedWarning(const SealedBindResult& result);

}  // namespace varnel
