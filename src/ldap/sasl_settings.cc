#include "ldap/sasl_settings.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "text/string_helpers.h"

namespace varnel {
namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && LowerCase(text.substr(0, prefix.size())) == prefix;
}

// The properties libldap's SASL_SECPROPS knows: flags, then the numbers.
constexpr std::string_view kFlags[] = {"none",     "nodict",     "noplain",    "noactive",
                                       "passcred", "forwardsec", "noanonymous"};
constexpr std::string_view kNumbers[] = {"minssf=", "maxssf=", "maxbufsize="};

// A number as libldap's strtoul takes it: digits to the end of the property.
std::optional<unsigned long> PropertyNumber(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  for (char c : digits)
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
  return std::strtoul(std::string(digits).c_str(), nullptr, 10);
}

// Calls `apply` with the text of every settings file libldap reads, and then
// with the value of the environment variable LDAP<keyword>, in libldap 2.5's
// order (see sasl_settings.h): a later call overrides an earlier one.
void ForEachSettingsSource(const LdapSettingsSource& source, const std::string& keyword,
                           const std::function<void(std::string_view fileText)>& applyFile,
                           const std::function<void(std::string_view value)>& applyVariable) {
  if (!source.environment || source.environment("LDAPNOINIT")) return;
  auto file = [&](const std::string& path) {
    if (!source.readFile) return;
    if (const std::optional<std::string> text = source.readFile(path)) applyFile(*text);
  };
  // The user configuration files of one name: $HOME/<name>, $HOME/.<name>, ./<name>.
  auto userFiles = [&](const std::string& name) {
    if (std::optional<std::string> home = source.environment("HOME")) {
      file(*home + "/" + name);
      file(*home + "/." + name);
    }
    file(name);
  };
  file(kSystemLdapConf);
  if (source.setuid) return;
  userFiles("ldaprc");
  if (std::optional<std::string> conf = source.environment("LDAPCONF")) file(*conf);
  if (std::optional<std::string> rc = source.environment("LDAPRC")) userFiles(*rc);
  if (std::optional<std::string> value = source.environment("LDAP" + keyword))
    applyVariable(*value);
}

// Calls `apply` with the value of each line of a settings file whose keyword
// is `keyword` (letter case ignored), as libldap reads its lines.
void ForEachValue(std::string_view fileText, std::string_view keyword,
                  const std::function<void(std::string_view value)>& apply) {
  std::istringstream lines{std::string(fileText)};
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.front() == '#') continue;
    size_t begin = 0;
    while (begin < line.size() && IsBlank(line[begin])) ++begin;
    size_t end = line.size();
    while (end > begin && IsBlank(line[end - 1])) --end;
    const std::string_view text = std::string_view(line).substr(begin, end - begin);
    size_t keywordEnd = 0;
    while (keywordEnd < text.size() && !IsBlank(text[keywordEnd])) ++keywordEnd;
    if (keywordEnd == text.size()) continue;  // a keyword without a value
    if (LowerCase(text.substr(0, keywordEnd)) != LowerCase(keyword)) continue;
    size_t valueStart = keywordEnd;
    while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
    apply(text.substr(valueStart));
  }
}

}  // namespace

std::optional<unsigned> SecpropsMinSsf(std::string_view secprops) {
  std::optional<unsigned> minSsf;
  size_t start = 0;
  while (start <= secprops.size()) {
    size_t comma = secprops.find(',', start);
    if (comma == std::string_view::npos) comma = secprops.size();
    const std::string_view property = secprops.substr(start, comma - start);
    start = comma + 1;
    if (property.empty()) continue;  // libldap splits with strtok: empty ones vanish
    bool known = false;
    for (std::string_view flag : kFlags)
      if (property.size() == flag.size() && StartsWithNoCase(property, flag)) known = true;
    for (std::string_view number : kNumbers) {
      if (known || !StartsWithNoCase(property, number)) continue;
      const std::optional<unsigned long> value = PropertyNumber(property.substr(number.size()));
      if (!value) continue;
      known = true;
      if (number == "minssf=") minSsf = static_cast<unsigned>(*value);
    }
    if (!known) return std::nullopt;  // libldap refuses the whole value
  }
  return minSsf;
}

std::optional<unsigned> ConfigFileMinSsf(std::string_view fileText) {
  std::optional<unsigned> minSsf;
  ForEachValue(fileText, "sasl_secprops", [&](std::string_view value) {
    if (std::optional<unsigned> fromLine = SecpropsMinSsf(value)) minSsf = fromLine;
  });
  return minSsf;
}

std::optional<unsigned> ExplicitMinSsf(const LdapSettingsSource& source) {
  std::optional<unsigned> minSsf;
  auto take = [&](std::optional<unsigned> value) {
    if (value) minSsf = value;
  };
  ForEachSettingsSource(
      source, "SASL_SECPROPS", [&](std::string_view text) { take(ConfigFileMinSsf(text)); },
      [&](std::string_view value) { take(SecpropsMinSsf(value)); });
  return minSsf;
}

std::optional<std::string> ConfiguredServer(const LdapSettingsSource& source) {
  std::optional<std::string> server;
  // URI and the older HOST both name the default server; the later wins.
  for (const char* keyword : {"HOST", "URI"}) {
    auto take = [&](std::string_view value) {
      if (!value.empty()) server = std::string(value);
    };
    ForEachSettingsSource(
        source, keyword, [&](std::string_view text) { ForEachValue(text, keyword, take); }, take);
  }
  return server;
}

LdapSettingsSource ProcessLdapSettings() {
  LdapSettingsSource source;
  source.environment = [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  source.readFile = [](const std::string& path) -> std::optional<std::string> {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  };
  source.setuid = getuid() != geteuid();
  return source;
}

}  // namespace varnel
