// What makes a directory object a mail database that can hold mailboxes, and
// the facts about a database and the organisation that the mailbox and
// mail-enable rules decide on. The reads that gather them live in
// directory/; these are plain values.
#pragma once

#include <optional>
#include <string>

#include "diag/outcome.h"

namespace varnel {

// A private mail database is an object of this class itself; a storage group
// or a server above one is none.
inline constexpr const char* kMailDatabaseFilter = "(objectClass=msExchPrivateMDB)";

// Where a mail database lives: the Exchange server above it and that server's
// message transfer agent.
struct MailDatabaseHome {
  std::string mdbDn;
  std::string serverDn;
  std::string serverLegacyDn;
  std::optional<std::string> mtaDn;  // none when the server has no MTA object
};

// One mail database as the run read it: its home, and the legacyExchangeDN
// of the administrative group above its server (new mailboxes are named
// below it). Each part carries the outcome its read ended in (a directory
// object code).
struct DatabaseFacts {
  Outcome homeRead;
  MailDatabaseHome home;
  Outcome adminGroupRead;
  std::string adminGroupLegacyDn;
};

// The organisation as the run read it: the legacyExchangeDN of its first
// administrative group, below which mail-enabled recipients are named.
struct OrganisationFacts {
  Outcome read;
  std::string firstAdminGroupLegacyDn;
};

}  // namespace varnel
