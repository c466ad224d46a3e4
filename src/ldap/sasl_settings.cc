#include "ldap/sasl_settings.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
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

// Applies the settings of one file, line by line as libldap reads them, to *minSsf.
void ApplyConfigFile(const LdapSettingsSource& source, const std::string& path,
                     std::optional<unsigned>* minSsf) {
  if (!source.readFile) return;
  const std::optional<std::string> text = source.readFile(path);
  if (!text) return;
  if (std::optional<unsigned> fromFile = ConfigFileMinSsf(*text)) *minSsf = fromFile;
}

// The user configuration files of one name: $HOME/<name>, $HOME/.<name>, ./<name>.
void ApplyUserFiles(const LdapSettingsSource& source, const std::string& name,
                    std::optional<unsigned>* minSsf) {
  if (std::optional<std::string> home = source.environment("HOME")) {
    ApplyConfigFile(source, *home + "/" + name, minSsf);
    ApplyConfigFile(source, *home + "/." + name, minSsf);
  }
  ApplyConfigFile(source, name, minSsf);
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
    if (LowerCase(text.substr(0, keywordEnd)) != "sasl_secprops") continue;
    size_t valueStart = keywordEnd;
    while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
    if (std::optional<unsigned> value = SecpropsMinSsf(text.substr(valueStart))) minSsf = value;
  }
  return minSsf;
}

std::optional<unsigned> ExplicitMinSsf(const LdapSettingsSource& source) {
  if (!source.environment || source.environment("LDAPNOINIT")) return std::nullopt;
  std::optional<unsigned> minSsf;
  ApplyConfigFile(source, kSystemLdapConf, &minSsf);
  if (source.setuid) return minSsf;
  ApplyUserFiles(source, "ldaprc", &minSsf);
  if (std::optional<std::string> conf = source.environment("LDAPCONF"))
    ApplyConfigFile(source, *conf, &minSsf);
  if (std::optional<std::string> rc = source.environment("LDAPRC"))
    ApplyUserFiles(source, *rc, &minSsf);
  if (std::optional<std::string> secprops = source.environment("LDAPSASL_SECPROPS")) {
    if (std::optional<unsigned> value = SecpropsMinSsf(*secprops)) minSsf = value;
  }
  return minSsf;
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
