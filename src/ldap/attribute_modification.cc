#include "ldap/attribute_modification.h"

#include <iostream>

#include "diag/console.h"
#include "ldap/ldap_error.h"
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

int LdapSetAttr(LdapConnection& session, const std::string& dn, const std::string& attribute,
                const std::string& value) {
  if (Debug()) {
    std::cout << "DEBUG: Setting " << dn << " - " << attribute << " - " << value << EndLine;
  }
  LdapModification mod;
  mod.op = LdapModification::Op::kReplace;
  mod.type = attribute;
  mod.values.push_back(value);
  const int rc = session.Modify(dn, {mod});
  if (Debug()) std::cout << "DEBUG: uErr=" << rc << EndLine;
  return rc;
}

int LdapSetAttrList(LdapConnection& session, const std::string& dn,
                    const std::vector<std::string>& list) {
  if (Debug()) std::cout << "DEBUG: Setting " << dn << EndLine;

  // The request holds exactly as many modifications as the list has texts.
  std::vector<LdapModification> mods;
  mods.reserve(list.size());
  for (const std::string& text : list) {
    LdapModification mod = ParseModificationText(text);
    if (Debug()) {
      if (mod.op == LdapModification::Op::kDelete) {
        std::cout << "DEBUG: Clear - " << mod.type << EndLine;
      } else {
        std::cout << "DEBUG: Set - " << mod.type << " to " << mod.values.front() << EndLine;
      }
    }
    mods.push_back(std::move(mod));
  }
  if (Debug()) std::cout << "DEBUG: modcnt=" << mods.size() << EndLine;
  if (mods.empty()) return 0;

  const int rc = session.Modify(dn, mods);
  if (Debug()) std::cout << "DEBUG: uErr=" << rc << EndLine;
  if (rc != 0 && !Quiet()) LdapReportError("", "", rc, nullptr);
  return rc;
}

}  // namespace varnel
