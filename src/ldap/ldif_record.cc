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

// Appends a "verb: type" group with its values and the "-" that closes it.
void PutGroup(std::string* record, const char* verb, const std::string& type,
              const std::vector<std::string>& values, bool binary) {
  PutLine(record, LDIF_PUT_VALUE, verb, type);
  for (const std::string& value : values)
    PutLine(record, binary ? LDIF_PUT_BINARY : LDIF_PUT_VALUE, type.c_str(), value);
  *record += "-\n";
}

}  // namespace

std::string LdifModifyRecord(const std::string& dn, const std::vector<LdapModification>& mods,
                             const std::function<bool(const std::string&)>& isBinary) {
  std::string record;
  PutLine(&record, LDIF_PUT_VALUE, "dn", dn);
  PutLine(&record, LDIF_PUT_VALUE, "changetype", "modify");
  for (const LdapModification& mod : mods) {
    const char* verb = mod.op == LdapModification::Op::kDelete ? "delete" : "replace";
    PutGroup(&record, verb, mod.type, mod.values, isBinary(mod.type));
  }
  record += '\n';
  return record;
}

std::string LdifValueChangeRecord(const std::string& dn,
                                  const std::vector<LdifValueChange>& changes,
                                  const std::function<bool(const std::string&)>& isBinary) {
  std::string record;
  PutLine(&record, LDIF_PUT_VALUE, "dn", dn);
  PutLine(&record, LDIF_PUT_VALUE, "changetype", "modify");
  for (const LdifValueChange& change : changes) {
    const bool binary = isBinary(change.type);
    if (!change.deleted.empty()) PutGroup(&record, "delete", change.type, change.deleted, binary);
    if (!change.added.empty()) PutGroup(&record, "add", change.type, change.added, binary);
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
