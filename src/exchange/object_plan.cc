#include "exchange/object_plan.h"

#include "ldap/result_codes.h"

namespace varnel {

bool MayHaveLanded(int resultCode) {
  return resultCode == kLdapServerDown || resultCode == kLdapLocalError ||
         resultCode == kLdapTimeout;
}

}  // namespace varnel
