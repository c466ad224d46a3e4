#include "exchange/recipient_alias.h"

namespace varnel {
namespace {

constexpr std::string_view kAliasPunctuation = "!#$%&'*+-/=?^_`{|}~.";

bool IsAliasCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         kAliasPunctuation.find(c) != std::string_view::npos;
}

}  // namespace

std::string MakeAlias(std::string_view name) {
  std::string alias;
  for (char c : name) {
    if (IsAliasCharacter(c)) alias.push_back(c);
  }
  const size_t first = alias.find_first_not_of('.');
  if (first == std::string::npos) return "";
  const size_t last = alias.find_last_not_of('.');
  return alias.substr(first, last - first + 1);
}

std::string AliasFor(std::string_view samAccountName, std::string_view cn) {
  std::string alias = MakeAlias(samAccountName);
  return alias.empty() ? MakeAlias(cn) : alias;
}

}  // namespace varnel
