#include "diag/directory_codes.h"

#include <array>

namespace varnel {
namespace {

struct CodeRow {
  int ldap;
  uint32_t win32;
};

constexpr uint32_t kErrorDsGenericError = 8341;

// Every result code of the LDAP protocol and every client-side code of the C
// LDAP API, with the Win32 code the directory service interfaces report for it.
constexpr std::array kLdapToWin32{
    CodeRow{0x00, 0},     // success
    CodeRow{0x01, 8224},  // operationsError: ERROR_DS_OPERATIONS_ERROR
    CodeRow{0x02, 8225},  // protocolError: ERROR_DS_PROTOCOL_ERROR
    CodeRow{0x03, 8226},  // timeLimitExceeded: ERROR_DS_TIMELIMIT_EXCEEDED
    CodeRow{0x04, 8227},  // sizeLimitExceeded: ERROR_DS_SIZELIMIT_EXCEEDED
    CodeRow{0x05, 8229},  // compareFalse: ERROR_DS_COMPARE_FALSE
    CodeRow{0x06, 8230},  // compareTrue: ERROR_DS_COMPARE_TRUE
    CodeRow{0x07, 8231},  // authMethodNotSupported: ERROR_DS_AUTH_METHOD_NOT_SUPPORTED
    CodeRow{0x08, 8232},  // strongAuthRequired: ERROR_DS_STRONG_AUTH_REQUIRED
    CodeRow{0x09, 234},   // partial results (LDAPv2 referral): ERROR_MORE_DATA
    CodeRow{0x0a, 8235},  // referral: ERROR_DS_REFERRAL
    CodeRow{0x0b, 8228},  // adminLimitExceeded: ERROR_DS_ADMIN_LIMIT_EXCEEDED
    CodeRow{0x0c, 8236},  // unavailableCriticalExtension: ERROR_DS_UNAVAILABLE_CRIT_EXTENSION
    CodeRow{0x0d, 8237},  // confidentialityRequired: ERROR_DS_CONFIDENTIALITY_REQUIRED
    CodeRow{0x10, 8202},  // noSuchAttribute: ERROR_DS_NO_ATTRIBUTE_OR_VALUE
    CodeRow{0x11, 8204},  // undefinedAttributeType: ERROR_DS_ATTRIBUTE_TYPE_UNDEFINED
    CodeRow{0x12, 8238},  // inappropriateMatching: ERROR_DS_INAPPROPRIATE_MATCHING
    CodeRow{0x13, 8239},  // constraintViolation: ERROR_DS_CONSTRAINT_VIOLATION
    CodeRow{0x14, 8205},  // attributeOrValueExists: ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS
    CodeRow{0x15, 8203},  // invalidAttributeSyntax: ERROR_DS_INVALID_ATTRIBUTE_SYNTAX
    CodeRow{0x20, 8240},  // noSuchObject: ERROR_DS_NO_SUCH_OBJECT
    CodeRow{0x21, 8241},  // aliasProblem: ERROR_DS_ALIAS_PROBLEM
    CodeRow{0x22, 8242},  // invalidDNSyntax: ERROR_DS_INVALID_DN_SYNTAX
    CodeRow{0x23, 8243},  // isLeaf: ERROR_DS_IS_LEAF
    CodeRow{0x24, 8244},  // aliasDereferencingProblem: ERROR_DS_ALIAS_DEREF_PROBLEM
    CodeRow{0x30, 8233},  // inappropriateAuthentication: ERROR_DS_INAPPROPRIATE_AUTH
    CodeRow{0x31, 1326},  // invalidCredentials: ERROR_LOGON_FAILURE
    CodeRow{0x32, 5},     // insufficientAccessRights: ERROR_ACCESS_DENIED
    CodeRow{0x33, 8206},  // busy: ERROR_DS_BUSY
    CodeRow{0x34, 8207},  // unavailable: ERROR_DS_UNAVAILABLE
    CodeRow{0x35, 8245},  // unwillingToPerform: ERROR_DS_UNWILLING_TO_PERFORM
    CodeRow{0x36, 8246},  // loopDetect: ERROR_DS_LOOP_DETECT
    CodeRow{0x3c, 8261},  // sortControlMissing: ERROR_DS_SORT_CONTROL_MISSING
    CodeRow{0x3d, 8262},  // offsetRangeError: ERROR_DS_OFFSET_RANGE_ERROR
    CodeRow{0x40, 8247},  // namingViolation: ERROR_DS_NAMING_VIOLATION
    CodeRow{0x41, 8212},  // objectClassViolation: ERROR_DS_OBJ_CLASS_VIOLATION
    CodeRow{0x42, 8213},  // notAllowedOnNonLeaf: ERROR_DS_CANT_ON_NON_LEAF
    CodeRow{0x43, 8214},  // notAllowedOnRDN: ERROR_DS_CANT_ON_RDN
    CodeRow{0x44, 5010},  // entryAlreadyExists: ERROR_OBJECT_ALREADY_EXISTS
    CodeRow{0x45, 8215},  // objectClassModsProhibited: ERROR_DS_CANT_MOD_OBJ_CLASS
    CodeRow{0x46, 8248},  // resultsTooLarge: ERROR_DS_OBJECT_RESULTS_TOO_LARGE
    CodeRow{0x47, 8249},  // affectsMultipleDSAs: ERROR_DS_AFFECTS_MULTIPLE_DSAS
    CodeRow{0x50, 31},    // other: ERROR_GEN_FAILURE
    CodeRow{0x51, 8250},  // server down: ERROR_DS_SERVER_DOWN
    CodeRow{0x52, 8251},  // local error: ERROR_DS_LOCAL_ERROR
    CodeRow{0x53, 8252},  // encoding error: ERROR_DS_ENCODING_ERROR
    CodeRow{0x54, 8253},  // decoding error: ERROR_DS_DECODING_ERROR
    CodeRow{0x55, 1460},  // timeout: ERROR_TIMEOUT
    CodeRow{0x56, 8234},  // unknown authentication method: ERROR_DS_AUTH_UNKNOWN
    CodeRow{0x57, 8254},  // filter error: ERROR_DS_FILTER_UNKNOWN
    CodeRow{0x58, 1223},  // cancelled by the user: ERROR_CANCELLED
    CodeRow{0x59, 8255},  // bad parameter: ERROR_DS_PARAM_ERROR
    CodeRow{0x5a, 8},     // out of memory: ERROR_NOT_ENOUGH_MEMORY
    CodeRow{0x5b, 1225},  // cannot connect: ERROR_CONNECTION_REFUSED
    CodeRow{0x5c, 8256},  // not supported: ERROR_DS_NOT_SUPPORTED
    CodeRow{0x5d, 8258},  // control not found: ERROR_DS_CONTROL_NOT_FOUND
    CodeRow{0x5e, 8257},  // no results returned: ERROR_DS_NO_RESULTS_RETURNED
    CodeRow{0x5f, 234},   // more results to return: ERROR_MORE_DATA
    CodeRow{0x60, 8259},  // client loop: ERROR_DS_CLIENT_LOOP
    CodeRow{0x61, 8260},  // referral limit exceeded: ERROR_DS_REFERRAL_LIMIT_EXCEEDED
};

}  // namespace

uint32_t Win32FromLdapCode(int ldapCode) {
  for (const CodeRow& row : kLdapToWin32) {
    if (row.ldap == ldapCode) return row.win32;
  }
  return kErrorDsGenericError;
}

std::optional<int> LdapCodeFromWin32(uint32_t win32) {
  if (win32 == 0) return std::nullopt;
  for (const CodeRow& row : kLdapToWin32) {
    if (row.win32 == win32) return row.ldap;
  }
  return std::nullopt;
}

}  // namespace varnel
