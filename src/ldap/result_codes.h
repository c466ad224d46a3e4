// LDAP result codes in the tool's numbering. libldap reports client-side
// failures as -1..-17; the tool prints and returns them as the C LDAP API's
// 0x51..0x61 (LDAP_SERVER_DOWN ... LDAP_REFERRAL_LIMIT_EXCEEDED).
#pragma once

namespace varnel {

constexpr int kLdapSuccess = 0;
constexpr int kLdapOperationsError = 1;
constexpr int kLdapProtocolError = 2;
constexpr int kLdapNoSuchObject = 0x20;
constexpr int kLdapBusy = 0x33;         // the server's load: the request was not carried out
constexpr int kLdapUnavailable = 0x34;  // likewise, the server or a part it needs is unavailable
constexpr int kLdapUnwillingToPerform = 0x35;
constexpr int kLdapObjectClassViolation = 0x41;
constexpr int kLdapInappropriateAuth = 0x30;
constexpr int kLdapInvalidCredentials = 0x31;
constexpr int kLdapServerDown = 0x51;
constexpr int kLdapLocalError = 0x52;
constexpr int kLdapTimeout = 0x55;
constexpr int kLdapAuthUnknown = 0x56;
constexpr int kLdapParamError = 0x59;
constexpr int kLdapNotSupported = 0x5c;

// Turns a code returned by libldap into the tool's numbering.
int NormalizeLdapCode(int libraryCode);

// The library's text for a code in the tool's numbering.
const char* LdapErrorText(int code);

}  // namespace varnel
