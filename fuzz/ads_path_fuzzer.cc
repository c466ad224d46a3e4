// The ADsPath check. The input is the path, as narrow text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "exchange/ads_path.h"
#include "fuzz_support.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

// The server and DN the path names, when it names an object.
struct Expected {
  bool ok = false;
  std::optional<std::string> server;
  std::string dn;
};

Expected Model(const std::string& text) {
  Expected expected;
  constexpr size_t kPrefixSize = 7;  // "LDAP://"
  if (text.size() < kPrefixSize) return expected;
  for (size_t i = 0; i < kPrefixSize; ++i) {
    const char c = text[i];
    const char folded = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    if (folded != "ldap://"[i]) return expected;
  }
  const std::string rest = text.substr(kPrefixSize);
  // A server given as an LDAP URI keeps the "//" of its scheme: it ends at
  // the first "/" after that, and without one the path is bad.
  std::string folded = rest.substr(0, 8);
  for (char& c : folded) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  size_t from = 0;
  if (folded.rfind("ldaps://", 0) == 0) from = 8;
  if (folded.rfind("ldap://", 0) == 0) from = 7;
  const size_t slash = rest.find('/', from);
  if (from != 0 && slash == std::string::npos) return expected;
  expected.dn = rest;
  if (slash != std::string::npos) {
    const std::string head = rest.substr(0, slash);
    if (head.find('=') == std::string::npos) {
      if (head.empty()) return expected;
      expected.server = head;
      expected.dn = rest.substr(slash + 1);
    }
  }
  expected.ok = expected.dn.find('=') != std::string::npos;
  return expected;
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel;
  using namespace varnel::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Expected expected = Model(text);

  const Outcome result = CheckAdsPath(text);
  VARNEL_FUZZ_CHECK(result.ok() || result.code() == kEAdsBadPathname);
  VARNEL_FUZZ_CHECK(result.ok() == expected.ok);
  if (!result.ok()) return 0;

  // The parts put back together give the path again, but for the prefix's
  // case, and it names an object again.
  const std::string rebuilt = BuildAdsPath(expected.server.value_or(""), expected.dn);
  VARNEL_FUZZ_CHECK(LowerCase(rebuilt.substr(0, 7)) == LowerCase(text.substr(0, 7)));
  VARNEL_FUZZ_CHECK(rebuilt.substr(7) == text.substr(7));
  VARNEL_FUZZ_CHECK(CheckAdsPath(rebuilt).ok());
  return 0;
}
