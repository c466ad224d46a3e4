// What a run reaches outside itself: the LDAP library, standard input, the
// directory object service, the tick counter, whether standard input and
// standard error are terminals, and how to wait before trying a lost server
// again. The real run uses the
// system's; tests hand in their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <thread>

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
  // Standard input is a terminal: the DN list is typed there.
  bool inputIsTerminal = false;
  // Waits between tries to reach a server that went away (milliseconds).
  std::function<void(uint32_t)> pause = [](uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  };
};

}  // namespace varnel
