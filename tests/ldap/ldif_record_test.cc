// Modify requests as LDIF change records, written through libldap.
#include "ldap/ldif_record.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

bool GuidIsBinary(const std::string& name) { return name == "msExchMailboxGuid"; }

TEST(LdifRecordTest, EveryModificationWithItsValuesAndUnsafeTextInBase64) {
  const std::vector<LdapModification> mods = {
      {LdapModification::Op::kReplace, "mail", {"a@x", "b@x"}},
      {LdapModification::Op::kDelete, "authOrig", {}},
      {LdapModification::Op::kReplace, "msExchMailboxGuid", {"abc"}},  // printable, yet binary
      {LdapModification::Op::kReplace, "description", {" leading blank"}},
      {LdapModification::Op::kReplace, "homeMTA", {}},
  };
  EXPECT_EQ(LdifModifyRecord("CN=a,DC=x", mods, GuidIsBinary),
            "dn: CN=a,DC=x\nchangetype: modify\n"
            "replace: mail\nmail: a@x\nmail: b@x\n-\n"
            "delete: authOrig\n-\n"
            "replace: msExchMailboxGuid\nmsExchMailboxGuid:: YWJj\n-\n"
            "replace: description\ndescription:: IGxlYWRpbmcgYmxhbms=\n-\n"
            "replace: homeMTA\n-\n\n");
}

TEST(LdifRecordTest, LongValuesAreFoldedAndUnfoldBackWhole) {
  const std::string value(200, 'v');
  std::string record = LdifModifyRecord(
      "CN=b,DC=x", {{LdapModification::Op::kReplace, "info", {value}}}, GuidIsBinary);
  for (size_t at = record.find('\n'); at != std::string::npos; at = record.find('\n', at + 1)) {
    const size_t next = record.find('\n', at + 1);
    if (next != std::string::npos) {
      EXPECT_LE(next - at - 1, 79u);
    }
  }
  for (size_t fold; (fold = record.find("\n ")) != std::string::npos;) record.erase(fold, 2);
  EXPECT_NE(record.find("\ninfo: " + value + "\n-\n"), std::string::npos);
}

}  // namespace
}  // namespace varnel
