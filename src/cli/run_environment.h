// What a run reaches outside itself: the LDAP library, standard input, the
// source of new mailbox GUIDs, the tick counter, whether standard input,
// output and error are terminals, how to wait before trying a lost server
// again, and the file system its record files are written to. The real run
// uses the system's; tests hand in their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "platform/file_system.h"

namespace varnel {

class DcLocatorNetwork;
class LdapConnector;
class StopRequest;
class TickCounter;

struct RunEnvironment {
  LdapConnector& connector;
  std::istream& input;
  // Random bytes for each new mailbox's GUID; false when none can be had.
  std::function<bool(std::span<uint8_t>)> guids;
  const TickCounter& ticks;
  // Where -undo, -report and -failed are opened.
  FileSystem& files;
  // Standard error is a terminal: a long run may show a progress meter there.
  bool errorIsTerminal = false;
  // Standard output is a terminal: its lines share the screen with the meter.
  bool outputIsTerminal = false;
  // Standard input is a terminal: the DN list is typed there.
  bool inputIsTerminal = false;
  // Standard input is a regular file: it reads to its end without waiting.
  bool inputIsFile = false;
  // Waits between tries to reach a server that went away (milliseconds).
  std::function<void(uint32_t)> pause = [](uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  };
  // The file `input` reads, when it is one: no record file may be it.
  std::optional<FileIdentity> inputFile = std::nullopt;
  // Asks the run to end (SIGINT, SIGTERM); none: never asked.
  const StopRequest* stop = nullptr;
  // The server libldap's own settings name (URI or HOST of its files,
  // LDAPURI, LDAPHOST), as written; nullopt: none.
  std::function<std::optional<std::string>()> configuredServer = [] {
    return std::optional<std::string>();
  };
  // When neither -h nor those settings name a server: the domain to find a DC
  // of (from Kerberos), and the network to find it through. No network: the
  // library's default server is used.
  std::function<std::optional<std::string>()> domain = [] { return std::optional<std::string>(); };
  DcLocatorNetwork* dcNetwork = nullptr;
  // A list's reads go on a connection of their own, opened on a thread of
  // its own (the real connector; tests' fakes are not shared between threads).
  bool readsOnOwnConnection = false;
};

}  // namespace varnel
