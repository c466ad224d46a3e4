// Escaping of values that are placed into LDAP search filters, so that a name
// holding filter syntax characters matches only itself.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// Returns the value with "*", "(", ")", "\" and the NUL byte written as the
// RFC 4515 escapes \2a, \28, \29, \5c and \00. Every other byte (UTF-8
// sequences included) is kept as it is.
std::string EscapeFilterValue(std::string_view value);

}  // namespace varnel
