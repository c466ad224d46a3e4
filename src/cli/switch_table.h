// The parsed command line: switches introduced by "-" or "/" with optional
// values, positional arguments, and the check against the accepted switches.
#pragma once

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class SwitchTable {
 public:
  // Reads argv[1..argc-1]. Switch names are folded to lower case on entry and
  // on every query. An argument is a switch when it begins with "/", or
  // with "-" not followed by a digit (so -5 is a value); its value is the one
  // argument right after it unless that is a switch. The switches named in
  // `pathSwitches` take the next argument whatever it starts with, since a
  // path may begin with "/" or "-". A repeated switch starts over; a lone "-"
  // or "/" is a switch with the empty name.
  SwitchTable(int argc, const char* const* argv,
              std::span<const std::string_view> pathSwitches = {});

  // Checks the switches against the accepted `entries`: "name" takes a value, ":name" is a
  // flag (a value it captured moves to the positional list), and a "^" after
  // any ":" marks a required switch. Fills the bad- and missing-switch lists
  // (ascending byte order) and returns the number of problems; 0 means an
  // acceptable command line.
  int Validate(std::span<const std::string_view> entries);

  bool IsPresent(std::string_view name) const;
  // The switch's value; empty both when it has none and when it is absent.
  std::string GetValue(std::string_view name) const;

  const std::vector<std::string>& BadSwitches() const { return bad_switches_; }
  const std::vector<std::string>& MissingSwitches() const { return missing_switches_; }
  size_t BadSwitchCount() const { return bad_switches_.size(); }
  size_t MissingSwitchCount() const { return missing_switches_.size(); }
  size_t SwitchCount() const { return switches_.size(); }
  size_t PositionalCount() const { return positionals_.size(); }
  const std::vector<std::string>& Positionals() const { return positionals_; }

 private:
  std::map<std::string, std::string> switches_;
  std::vector<std::string> positionals_;
  std::vector<std::string> bad_switches_;
  std::vector<std::string> missing_switches_;
};

}  // namespace varnel
