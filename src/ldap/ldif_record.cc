#include "ldap/ldif_record.h"

#include <lber.h>
#include <ldif.h>

#include <cstdio>

namespace varnel {
namespace {

// Appends one "name: value" line, folded and encoded as ldif_sput decides.
void PutLine(std::string* record, int type, const char* name, const std::string& value) {
  const size_t nameLength = std::char_traits<char>::length(name);
  std::string buffer(LDIF_SIZE_NEEDED(nameLength, value.size()) + 1, '\0');
  char* end = buffer.data();
  ldif_sput(&end, type, name, value.data(), value.size());
  record->append(buffer.data(), static_cast<size_t>(end - buffer.data()));
}

}  // namespace

std::string LdifModifyRecord(const std::string& dn, const std::vector<LdapModification>& mods,
                             const std::function<bool(const std::string&)>& isBinary) {
  std::string record;
  PutLine(&record, LDIF_PUT_VALUE, "dn", dn);
  PutLine(&record, LDIF_PUT_VALUE, "changetype", "modify");
  for (const LdapModification& mod : mods) {
    const char* verb = mod.op == LdapModification::Op::kDelete ? "delete" : "replace";
    PutLine(&record, LDIF_PUT_VALUE, verb, mod.type);
    const int valueType = isBinary(mod.type) ? LDIF_PUT_BINARY : LDIF_PUT_VALUE;
    for (const std::string& value : mod.values)
      PutLine(&record, valueType, mod.type.c_str(), value);
    record += "-\n";
  }
  record += '\n';
  return record;
}

std::string LdifDnLine(const std::string& dn) {
  std::string line;
  PutLine(&line, LDIF_PUT_VALUE, "dn", dn);
  return line;
}

}  // namespace varnel
