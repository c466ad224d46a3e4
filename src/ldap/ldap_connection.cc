#include "ldap/ldap_connection.h"

#include <strings.h>

#include "ldap/result_codes.h"

namespace varnel {

const std::vector<std::string>* LdapEntry::Find(const std::string& name) const {
  for (const LdapAttribute& attribute : attributes) {
    if (strcasecmp(attribute.name.c_str(), name.c_str()) == 0) return &attribute.values;
  }
  return nullptr;
}

}  // namespace varnel

namespace varnel {

int LdapConnection::StartSearch(const LdapSearchRequest& request, int* id) {
  Answered& answer = answered_[*id = nextId_++];
  answer.rc = Search(request, &answer.entries);
  return 0;
}

int LdapConnection::FinishSearch(int id, std::vector<LdapEntry>* entries) {
  return TakeAnswer(id, entries);
}

int LdapConnection::TakeAnswer(int id, std::vector<LdapEntry>* entries) {
  auto found = answered_.find(id);
  if (found == answered_.end()) return kLdapLocalError;
  const int rc = found->second.rc;
  for (LdapEntry& entry : found->second.entries) entries->push_back(std::move(entry));
  answered_.erase(found);
  return rc;
}

int LdapConnection::StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                                int* id) {
  answered_[*id = nextId_++].rc = Modify(dn, mods);
  return 0;
}

int LdapConnection::FinishModify(int id) {
  std::vector<LdapEntry> none;
  return TakeAnswer(id, &none);
}

}  // namespace varnel
