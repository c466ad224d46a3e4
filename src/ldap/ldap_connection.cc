#include "ldap/ldap_connection.h"

#include <strings.h>

namespace varnel {

const std::vector<std::string>* LdapEntry::Find(const std::string& name) const {
  for (const LdapAttribute& attribute : attributes) {
    if (strcasecmp(attribute.name.c_str(), name.c_str()) == 0) return &attribute.values;
  }
  return nullptr;
}

}  // namespace varnel
