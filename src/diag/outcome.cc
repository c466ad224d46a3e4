#include "diag/outcome.h"

#include <optional>

#include "diag/directory_codes.h"

namespace varnel {
namespace {

constexpr int kDoesNotFit = 254;
constexpr int kToolFailure = 255;

int Fits(int32_t code) { return code >= 1 && code <= 255 ? code : kDoesNotFit; }

}  // namespace

int ExitStatus(const Outcome& outcome) {
  if (outcome.ok()) return 0;
  switch (outcome.domain()) {
    case OutcomeDomain::kVarnel:
      return outcome.code() == -1 ? kToolFailure : Fits(outcome.code());
    case OutcomeDomain::kLdap:
      return Fits(outcome.code());
    case OutcomeDomain::kHResult: {
      const uint32_t code = static_cast<uint32_t>(outcome.code());
      if ((code & 0xFFFF0000u) != 0x80070000u) return kDoesNotFit;
      const std::optional<int> ldap = LdapCodeFromWin32(code & 0xFFFFu);
      return ldap ? Fits(*ldap) : kDoesNotFit;
    }
  }
  return kDoesNotFit;
}

}  // namespace varnel
