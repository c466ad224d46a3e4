// Whether the administrator lowered the SASL minimum security strength
// factor on purpose: an explicit "minssf=" in SASL_SECPROPS of the files
// libldap reads, or in the LDAPSASL_SECPROPS environment variable.
//
// libldap keeps only the resulting number, and minssf=0 written by hand gives
// the same number as no setting at all; so the settings are read here again,
// from the same places, in the same order and by the same rules as libldap
// 2.5 reads them (libraries/libldap/init.c and cyrus.c):
//   LDAPNOINIT in the environment: nothing is read;
//   /etc/ldap/ldap.conf;
//   then, unless the real and effective user differ: $HOME/ldaprc,
//   $HOME/.ldaprc, ./ldaprc; the file named by LDAPCONF; the files named by
//   LDAPRC ($HOME/<name>, $HOME/.<name>, ./<name>); LDAPSASL_SECPROPS.
// A SASL_SECPROPS value counts only when libldap takes it: every comma-separated
// property must be one it knows, or it ignores the whole value. A setting
// this reading misses leaves the sealed minimum in force: it fails safe.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// libldap's system-wide configuration file (LDAP_CONF_FILE of Debian's libldap).
inline constexpr const char* kSystemLdapConf = "/etc/ldap/ldap.conf";

// The process's view of the places libldap reads its settings from.
struct LdapSettingsSource {
  std::function<std::optional<std::string>(const std::string& name)> environment;
  // A file's whole text; nullopt when it cannot be read.
  std::function<std::optional<std::string>(const std::string& path)> readFile;
  bool setuid = false;  // real and effective user differ: user settings are not read
};

// The process's own environment, files and user ids.
LdapSettingsSource ProcessLdapSettings();

// The minssf of one SASL_SECPROPS value, when libldap takes the value and it
// names a minssf.
std::optional<unsigned> SecpropsMinSsf(std::string_view secprops);

// The minssf the last SASL_SECPROPS line of a configuration file that
// carries one sets, read as libldap reads its lines.
std::optional<unsigned> ConfigFileMinSsf(std::string_view fileText);

// The minssf the administrator set explicitly, over every place libldap
// reads (the later place wins, as in libldap); nullopt when none sets one.
std::optional<unsigned> ExplicitMinSsf(const LdapSettingsSource& source);

// The server the same places name for libldap's default session: URI, or
// the older HOST, of the files and of LDAPURI and LDAPHOST, as written;
// nullopt when none does.
std::optional<std::string> ConfiguredServer(const LdapSettingsSource& source);

}  // namespace varnel
