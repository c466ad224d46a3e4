#include "ldap/filter_escape.h"

namespace varnel {

std::string EscapeFilterValue(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '*':
        escaped += "\\2a";
        break;
      case '(':
        escaped += "\\28";
        break;
      case ')':
        escaped += "\\29";
        break;
      case '\\':
        escaped += "\\5c";
        break;
      case '\0':
        escaped += "\\00";
        break;
      default:
        escaped += c;
        break;
    }
  }
  return escaped;
}

}  // namespace varnel
