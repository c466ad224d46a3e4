#include "run/item_result.h"

#include <iomanip>
#include <sstream>

#include "diag/error_texts.h"
#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

std::string Trimmed(std::string text) {
  const size_t begin = text.find_first_not_of(" -\r\n\t");
  if (begin == std::string::npos) return "";
  const size_t end = text.find_last_not_of(" \r\n\t");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::string OutcomeMessage(const Outcome& outcome) {
  if (outcome.ok()) return "";
  if (!outcome.text().empty()) return Trimmed(outcome.text());
  switch (outcome.domain()) {
    case OutcomeDomain::kLdap:
      return LdapErrorText(outcome.code());
    case OutcomeDomain::kHResult: {
      std::ostringstream text;
      text << "0x" << std::hex << std::setw(8) << std::setfill('0')
           << static_cast<uint32_t>(outcome.code()) << " ";
      const std::string name = AdsErrorName(outcome.code());
      text << Trimmed(name.empty() ? SystemMessageText(outcome.code()) : name);
      return Trimmed(text.str());
    }
    case OutcomeDomain::kVarnel:
      break;
  }
  return "error " + std::to_string(outcome.code());
}

bool ToRunAgain(ItemOutcome outcome) {
  return outcome == ItemOutcome::kFailed || outcome == ItemOutcome::kNotProcessed ||
         outcome == ItemOutcome::kUnknown;
}

ItemResult ResultOf(const Outcome& outcome, std::string storedDn) {
  if (outcome.ok()) return {ItemOutcome::kOk, std::move(storedDn), 0, "", {}, ""};
  return {ItemOutcome::kFailed,
          std::move(storedDn),
          ExitStatus(outcome),
          OutcomeMessage(outcome),
          {},
          ""};
}

}  // namespace varnel
