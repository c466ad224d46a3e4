#include "exchange/distinguished_name.h"

namespace varnel {

std::optional<std::string> ParentDn(std::string_view dn) {
  bool quoted = false;
  for (size_t i = 0; i < dn.size(); ++i) {
    const char c = dn[i];
    if (c == '\\') {
      ++i;  // the escaped character (or the first of two hex digits) is part of the value
    } else if (c == '"') {
      quoted = !quoted;
    } else if ((c == ',' || c == ';') && !quoted) {
      size_t start = i + 1;
      while (start < dn.size() && dn[start] == ' ') ++start;
      if (start == dn.size()) return std::nullopt;
      return std::string(dn.substr(start));
    }
  }
  return std::nullopt;
}

}  // namespace varnel
