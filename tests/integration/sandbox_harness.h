// Helpers for tests that run the real varnel binary against the sandbox
// directory: the sandbox's environment, running a process with given input,
// and reading or changing the directory with OpenLDAP's own tools.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace varnel::integration {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal
};

enum class Account { kAdmin, kUser, kNone };

// The environment the sandbox prints for an account (KRB5_CONFIG, KRB5CCNAME,
// LDAPURI, ...) plus the facts it exports (VARNEL_SANDBOX_*).
const std::map<std::string, std::string>& SandboxEnv(Account account = Account::kAdmin);
std::string SandboxFact(const std::string& name);

// Runs argv with the given standard input and environment additions.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& env, bool closeStdin = false);

// Runs the varnel binary under the sandbox environment of an account.
ProcessResult RunVarnel(const std::vector<std::string>& args, const std::string& input = "",
                        Account account = Account::kAdmin);

// Applies LDIF with ldapmodify as the administrator; returns ldapmodify's status.
int ApplyLdif(const std::string& ldif, bool continueOnError = false);

// Reads one entry with ldapsearch as the administrator: attribute name
// (lower-cased) to values. Empty map when the entry does not exist.
std::map<std::string, std::vector<std::string>> ReadEntry(const std::string& dn,
                                                          const std::vector<std::string>& attrs = {});
// First value of an attribute, or "" when absent.
std::string ReadValue(const std::string& dn, const std::string& attribute);

// Base DN of the sandbox domain and the OU where tests create their objects.
std::string DomainDn();
std::string TestOu();

// A fresh OU below TestOu() for one test; its subtree is deleted first.
std::string FreshOu(const std::string& name);
// Adds a user, contact or group in ou; returns its DN.
std::string AddUser(const std::string& ou, const std::string& cn, const std::string& extraLdif = "");
std::string AddContact(const std::string& ou, const std::string& cn,
                       const std::string& extraLdif = "");
std::string AddGroup(const std::string& ou, const std::string& cn, const std::string& extraLdif = "");

}  // namespace varnel::integration
