#include "ldap/attribute_modification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnel {
namespace {

using Op = LdapModification::Op;

void ExpectMod(const LdapModification& mod, Op op, const std::string& type,
               const std::vector<std::string>& values) {
  EXPECT_EQ(mod.op, op) << type;
  EXPECT_EQ(mod.type, type);
  EXPECT_EQ(mod.values, values) << type;
}

TEST(AttributeModificationTest, ParsesNameAndValueAtFirstColon) {
  ExpectMod(ParseModificationText("msExchHideFromAddressLists:TRUE"), Op::kReplace,
            "msExchHideFromAddressLists", {"TRUE"});
  ExpectMod(ParseModificationText("description:a:b"), Op::kReplace, "description", {"a:b"});
  ExpectMod(ParseModificationText("a:b:"), Op::kReplace, "a", {"b"});
  ExpectMod(ParseModificationText("a:b::"), Op::kReplace, "a", {"b:"});
  ExpectMod(ParseModificationText("description: padded "), Op::kReplace, "description",
            {" padded "});
  ExpectMod(ParseModificationText("mDBStorageQuota:"), Op::kDelete, "mDBStorageQuota", {});
  ExpectMod(ParseModificationText("mDBStorageQuota"), Op::kDelete, "mDBStorageQuota", {});
}

}  // namespace
}  // namespace varnel
