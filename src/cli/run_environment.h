// What a run reaches outside itself: the LDAP library, standard input, the
// directory object service, the tick counter and whether standard error is
// a terminal. The real run uses the
// system's; tests hand in their own.
#pragma once

#include <istream>

namespace varnel {

class LdapConnector;
class DirectoryObjectService;
class TickCounter;

struct RunEnvironment {
  LdapConnector& connector;
  std::istream& input;
  // Opens its own sessions lazily, so an unused service costs nothing.
  DirectoryObjectService& objectService;
  const TickCounter& ticks;
  // Standard error is a terminal: a long run may show a progress meter there.
  bool errorIsTerminal = false;
};

}  // namespace varnel
