#include "ldap/attribute_modification.h"

#include "text/string_helpers.h"

namespace varnel {

LdapModification ParseModificationText(const std::string& text) {
  std::vector<std::string> fields;
  SplitMax(text, ":", &fields, 2);
  LdapModification mod;
  mod.type = fields[0];
  if (fields[1].empty()) {
    mod.op = LdapModification::Op::kDelete;
  } else {
    mod.op = LdapModification::Op::kReplace;
    mod.values.push_back(fields[1]);
  }
  return mod;
}

}  // namespace varnel
