// The ADsPath parser. The first byte picks how the rest becomes the UTF-16
// path: as UTF-16 units (low byte first) or as UTF-8 text, which lets the
// fuzzer build paths from readable pieces.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "exchange/ads_path.h"
#include "fuzz_support.h"
#include "platform/code_page.h"
#include "text/string_helpers.h"

namespace varnel::fuzz {
namespace {

std::u16string PathFromInput(InputReader& input) {
  const bool asUnits = (input.Byte() & 1) != 0;
  const std::string rest = input.Rest();
  if (!asUnits) return NarrowToWide(rest);
  std::u16string units;
  for (size_t i = 0; i + 1 < rest.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<uint8_t>(rest[i]) |
                                          (static_cast<uint8_t>(rest[i + 1]) << 8)));
  }
  return units;
}

// What the parser should make of the path, worked out on the narrow text.
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
  if (slash != std::string::npos) {
    const std::string head = rest.substr(0, slash);
    if (head.find('=') == std::string::npos) {
      if (head.empty()) return expected;
      expected.server = head;
      expected.dn = rest.substr(slash + 1);
    } else {
      expected.dn = rest;
    }
  } else {
    expected.dn = rest;
  }
  expected.ok = expected.dn.find('=') != std::string::npos;
  return expected;
}

}  // namespace
}  // namespace varnel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace varnel;
  using namespace varnel::fuzz;
  InputReader input(data, size);
  const std::u16string path = PathFromInput(input);
  const std::string text = WideToNarrow(path);
  const Expected expected = Model(text);

  AdsPath parsed;
  parsed.server = "untouched-server";
  parsed.dn = "untouched-dn";
  const HResult result = ParseAdsPath(path, &parsed);
  VARNEL_FUZZ_CHECK(result == kSOk || result == kEAdsBadPathname);
  VARNEL_FUZZ_CHECK((result == kSOk) == expected.ok);
  if (result != kSOk) {
    // A refused path leaves the output alone.
    VARNEL_FUZZ_CHECK(parsed.server == "untouched-server" && parsed.dn == "untouched-dn");
    return 0;
  }
  VARNEL_FUZZ_CHECK(parsed.server == expected.server);
  VARNEL_FUZZ_CHECK(parsed.dn == expected.dn);
  VARNEL_FUZZ_CHECK(parsed.dn.find('=') != std::string::npos);
  if (parsed.server) {
    VARNEL_FUZZ_CHECK(!parsed.server->empty());
    // No "/" but the two of a URI's scheme.
    const std::string server = LowerCase(*parsed.server);
    const size_t schemeEnd = server.rfind("ldaps://", 0) == 0  ? 8
                             : server.rfind("ldap://", 0) == 0 ? 7
                                                               : 0;
    VARNEL_FUZZ_CHECK(server.find('/', schemeEnd) == std::string::npos);
    VARNEL_FUZZ_CHECK(parsed.server->find('=') == std::string::npos);
  }

  // The parts put back together give the path again, but for the prefix's case.
  const std::string rebuilt = BuildAdsPath(parsed.server.value_or(""), parsed.dn);
  VARNEL_FUZZ_CHECK(LowerCase(rebuilt.substr(0, 7)) == LowerCase(text.substr(0, 7)));
  VARNEL_FUZZ_CHECK(rebuilt.substr(7) == text.substr(7));

  AdsPath again;
  VARNEL_FUZZ_CHECK(ParseAdsPath(NarrowToWide(rebuilt), &again) == kSOk);
  VARNEL_FUZZ_CHECK(again.server == parsed.server && again.dn == parsed.dn);
  return 0;
}
