#include "ldap/sasl_settings.h"

#include <gtest/gtest.h>

#include <map>

namespace varnel {
namespace {

TEST(SecpropsMinSsfTest, OnlyAnExplicitMinssfCounts) {
  EXPECT_EQ(SecpropsMinSsf("minssf=0,maxssf=0"), 0u);
  EXPECT_EQ(SecpropsMinSsf("noanonymous,MinSSF=40"), 40u);
  EXPECT_EQ(SecpropsMinSsf("minssf=0,minssf=112"), 112u);  // the last one wins, as in libldap
  EXPECT_EQ(SecpropsMinSsf(",,minssf=1,"), 1u);            // empty properties vanish
  EXPECT_EQ(SecpropsMinSsf("maxssf=0"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("none"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf(""), std::nullopt);
}

TEST(SecpropsMinSsfTest, AValueLibldapRefusesSetsNothing) {
  // One property libldap does not know makes it ignore the whole value.
  EXPECT_EQ(SecpropsMinSsf("minssf=0, maxssf=0"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("minssf=0,sealing"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("minssf=0x10"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("minssf=-1"), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("minssf="), std::nullopt);
  EXPECT_EQ(SecpropsMinSsf("nodictionary,minssf=0"), std::nullopt);
}

TEST(ConfigFileMinSsfTest, ReadsLinesAsLibldapDoes) {
  EXPECT_EQ(ConfigFileMinSsf("URI ldap://dc1\n  sasl_secprops \t minssf=0,maxssf=0  \n"), 0u);
  // A comment is a "#" in the first column only; later lines win.
  EXPECT_EQ(ConfigFileMinSsf("#SASL_SECPROPS minssf=0\nSASL_SECPROPS minssf=56\n"), 56u);
  EXPECT_EQ(ConfigFileMinSsf("SASL_SECPROPS minssf=0\nSASL_SECPROPS maxssf=0\n"), 0u);
  EXPECT_EQ(ConfigFileMinSsf("SASL_SECPROPS minssf=0\nSASL_SECPROPS minssf=0,bad\n"), 0u);
  EXPECT_EQ(ConfigFileMinSsf("SASL_SECPROPS\nSASL_SECPROPSminssf=0\nSASL_SECPROPS maxssf=0"),
            std::nullopt);
  EXPECT_EQ(ConfigFileMinSsf("LDAPSASL_SECPROPS minssf=0\n"), std::nullopt);
}

// The places libldap reads, held in maps.
struct FakeSettings {
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> files;
  bool setuid = false;

  std::optional<unsigned> Explicit() const { return ExplicitMinSsf(Source()); }

  LdapSettingsSource Source() const {
    LdapSettingsSource source;
    source.environment = [this](const std::string& name) -> std::optional<std::string> {
      auto it = env.find(name);
      return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    source.readFile = [this](const std::string& path) -> std::optional<std::string> {
      auto it = files.find(path);
      return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    source.setuid = setuid;
    return source;
  }
};

TEST(ExplicitMinSsfTest, EveryPlaceLibldapReadsInItsOrder) {
  FakeSettings s;
  s.env["HOME"] = "/home/op";
  EXPECT_EQ(s.Explicit(), std::nullopt);

  s.files[kSystemLdapConf] = "SASL_SECPROPS minssf=0\n";
  EXPECT_EQ(s.Explicit(), 0u);
  s.files["/home/op/.ldaprc"] = "SASL_SECPROPS minssf=40\n";
  EXPECT_EQ(s.Explicit(), 40u);
  s.files["ldaprc"] = "SASL_SECPROPS minssf=41\n";
  EXPECT_EQ(s.Explicit(), 41u);
  s.env["LDAPCONF"] = "/etc/alt.conf";
  s.files["/etc/alt.conf"] = "SASL_SECPROPS minssf=42\n";
  EXPECT_EQ(s.Explicit(), 42u);
  s.env["LDAPRC"] = "myrc";
  s.files["/home/op/.myrc"] = "SASL_SECPROPS minssf=43\n";
  EXPECT_EQ(s.Explicit(), 43u);
  s.env["LDAPSASL_SECPROPS"] = "minssf=44";
  EXPECT_EQ(s.Explicit(), 44u);
  // maxssf alone in the environment leaves the files' minssf standing.
  s.env["LDAPSASL_SECPROPS"] = "maxssf=0";
  EXPECT_EQ(s.Explicit(), 43u);

  // A program run set-user-ID reads the system file only.
  s.setuid = true;
  EXPECT_EQ(s.Explicit(), 0u);
  s.env["LDAPNOINIT"] = "";
  EXPECT_EQ(s.Explicit(), std::nullopt);
}

TEST(ConfiguredServerTest, UriOrHostOfTheFilesOrTheEnvironment) {
  FakeSettings s;
  s.env["HOME"] = "/home/op";
  s.files[kSystemLdapConf] = "TLS_CACERT /etc/ssl/ca.pem\nURI\n";
  EXPECT_EQ(ConfiguredServer(s.Source()), std::nullopt);
  s.files["/home/op/.ldaprc"] = "HOST dc1\n";
  EXPECT_EQ(ConfiguredServer(s.Source()), "dc1");
  s.env["LDAPURI"] = "ldap://dc2 ldap://dc3";
  EXPECT_EQ(ConfiguredServer(s.Source()), "ldap://dc2 ldap://dc3");
  s.env["LDAPNOINIT"] = "1";
  EXPECT_EQ(ConfiguredServer(s.Source()), std::nullopt);
}

}  // namespace
}  // namespace varnel
