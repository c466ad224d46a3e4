// The one action of a run and the run-wide settings that the command-line
// stage takes over from the switches. Typed values only: the actions never
// look a switch up by its spelling. What the directory start-up learns lives
// in StartupFacts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "exchange/quota.h"

namespace varnel {

// The numeric codes are those the debug block prints.
enum class RunAction : uint32_t {
  None = 0,  // no action switch given yet
  Clear = 1,
  CreateMailbox = 2,
  MailEnable = 4,
  MoveMailbox = 8,
  Update = 16,
};

// A safety limit of this value means no limit on the number of DNs.
inline constexpr uint32_t kNoSafetyLimit = 0xFFFFFFFF;

// What -upd (and -cr, -me after their own change) sets on an object.
struct UpdateOptions {
  bool hideFromAddressLists = false;    // -hfal
  bool unhideFromAddressLists = false;  // -uhfal
  std::optional<QuotaFigures> quota;    // -quota, when the switch is given
};

struct RunSettings {
  RunAction action = RunAction::None;
  std::string host;           // -h; empty: the LDAP library's default server
  std::string mdbText;        // -cr or -move: a mail database DN or Server:SG:DB
  std::string targetAddress;  // -me
  std::string mdbDelimiter = ":";
  std::string fieldDelimiter = "\t";
  std::string internetEncoding = "1310720";
  uint32_t upto = 0;  // stop after this many successes; 0: no limit
  uint32_t safety = 10;
  bool continueOnError = false;
  bool showElapsed = false;
  bool showElapsedMs = false;
  bool singleDn = false;  // -b given: work on `dn` instead of stdin
  std::string dn;
  std::string dnListPath;  // -f: read the DN list from this file instead of stdin
  UpdateOptions update;    // -hfal, -uhfal, -quota
  bool keepMail = false;   // -keepmail
  bool verbose = false;    // -v: the server's diagnostic after each LDAP error line

  uint32_t window = 0;     // -window: requests outstanding at once; 0: found by the run
  uint32_t rate = 0;       // -rate: items started each second at most; 0: no cap
  bool whatIf = false;     // -whatif: plans are written as LDIF, not sent
  std::string undoPath;    // -undo
  std::string reportPath;  // -report
  std::string failedPath;  // -failed
};

}  // namespace varnel
