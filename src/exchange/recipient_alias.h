// The Exchange alias (mailNickname) that a recipient gets when it has none:
// made from its account name, else from its common name, keeping only the
// characters an alias may hold.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// Keeps ASCII letters, digits and !#$%&'*+-/=?^_`{|}~. and drops every other
// byte, then drops leading and trailing dots. May return "".
std::string MakeAlias(std::string_view name);

// MakeAlias of sAMAccountName, or of cn when the account name gives nothing
// (absent, or made only of characters an alias cannot hold).
std::string AliasFor(std::string_view samAccountName, std::string_view cn);

}  // namespace varnel
