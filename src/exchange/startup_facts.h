// What the directory start-up learns before the first item, kept apart from
// the settings the command line gives: the Exchange services container, the
// organisation's mode and the run's own mail database once resolved.
#pragma once

#include <string>

namespace varnel {

struct StartupFacts {
  // The Exchange services container of the configuration naming context.
  std::string exchangeServicesDn;
  // msExchMixedMode is FALSE: no legacy Exchange server shares the
  // organisation.
  bool nativeMode = false;
  // The database of -cr or -move, resolved; "" when none is given or it did
  // not resolve.
  std::string homeMdbDn;
};

}  // namespace varnel
