// What a run reaches outside itself: the LDAP library, standard input, the
// directory object service and the tick counter. The real run uses the
// system's; tests hand in their own.
#pragma once

#include <functional>
#include <istream>
#include <memory>

namespace varnel {

class LdapConnector;
class DirectoryObjectService;
class TickCounter;

struct RunEnvironment {
  LdapConnector& connector;
  std::istream& input;
  // Builds the run's directory object service when the loop needs one.
  std::function<std::unique_ptr<DirectoryObjectService>()> makeObjectService;
  const TickCounter& ticks;
};

}  // namespace varnel
