// An LdapConnector for unit tests: every server text names one shared
// in-memory directory (a FakeLdapConnection), and each Open hands out a new
// session onto it. Opens are recorded, can be refused, and the sessions handed
// out so far can be broken as a dropped connection would be.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ldap/ldap_connection.h"
#include "support/fake_ldap_connection.h"

namespace varnel::testing {

class FakeLdapConnector : public LdapConnector {
 public:
  struct OpenCall {
    bool hasServer;
    std::string server;
    int port;
  };

  // The directory behind a server, named "host:port" (kDefaultServer: the
  // library's default server). Created empty on first use.
  FakeLdapConnection& Directory(const std::string& server);
  FakeLdapConnection& DefaultDirectory() { return Directory(kDefaultServer); }

  // When non-zero, Open fails and reports this code.
  int openError = 0;
  std::vector<OpenCall> opens;

  // Every session handed out so far answers each later call with 0x51
  // (server down); sessions opened afterwards work again.
  void BreakOpenSessions();

  std::unique_ptr<LdapConnection> Open(const ServerAddress* server, int* systemError) override;

  static constexpr const char* kDefaultServer = "<default>";

 private:
  std::map<std::string, std::shared_ptr<FakeLdapConnection>> directories_;
  std::vector<std::shared_ptr<bool>> brokenFlags_;
};

}  // namespace varnel::testing
