// The facts of a run that many objects share, each read from the directory
// once and then kept: the home of every mail database the run meets (the
// run's own and each line's), the administrative group above its server, and
// the organisation's first administrative group. These reads grow with the
// number of databases, not with the number of objects. A line's database
// text is resolved with its printed lines each time it fails; only what
// resolved is kept.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "exchange/mail_database.h"
#include "exchange/startup_facts.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class ItemLines;

// The search Organisation() makes, to be sent ahead (searches_ahead.h).
LdapSearchRequest OrganisationSearch(const std::string& exchangeServicesDn);

class RunFacts {
 public:
  // `startup` names the Exchange services container and the run's own
  // database; `mdbDelimiter` cuts a Server:StorageGroup:Database text; with
  // `withAdminGroups` each database's facts include the administrative group
  // above its server.
  RunFacts(LdapConnection& session, const StartupFacts& startup, std::string mdbDelimiter,
           bool withAdminGroups);

  // The run's own mail database (-cr, -move), as the start-up resolved it.
  const std::string& HomeDatabase() const { return homeMdbDn_; }

  // Sets *dn to the mail database DN a line's text names; when it does not
  // resolve, *dn is "" and the outcome is ResolveHomeMDB's (after its lines,
  // added to `lines` as the command line's database shows them).
  Outcome ResolveDatabase(ItemLines& lines, const std::string& text, std::string* dn);

  // The database's facts, read on first need. What was read is kept, a
  // failure too, unless the answer was lost with the connection.
  const DatabaseFacts& Database(const std::string& mdbDn);

  // The organisation's first administrative group; read on first need.
  const OrganisationFacts& Organisation();

 private:
  // The database's facts in one search; false when they cannot all be had
  // that way (*facts then holds nothing of use).
  bool ReadDatabaseAtOnce(const std::string& mdbDn, DatabaseFacts* facts);

  LdapConnection& session_;
  const std::string exchangeServicesDn_;
  const std::string homeMdbDn_;
  const std::string mdbDelimiter_;
  const bool withAdminGroups_;
  std::map<std::string, std::string> resolved_;     // lower-case line text -> database DN
  std::map<std::string, DatabaseFacts> databases_;  // by DN as given
  std::optional<OrganisationFacts> organisation_;
  DatabaseFacts unkeptDatabase_;
  OrganisationFacts unkeptOrganisation_;
};

}  // namespace varnel
