// Helpers for tests that run the real varnel binary against the sandbox
// directory: the sandbox's environment, running a process with given input,
// and reading or changing the directory with OpenLDAP's own tools.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnel::integration {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;        // exit status, or 128 + signal
  int termSignal = 0;     // the signal that ended it; 0 when it exited
  bool timedOut = false;  // killed after the run's time limit
  std::chrono::milliseconds elapsed{0};
  std::chrono::milliseconds cpu{0};  // user and system time the process used
};

// How a process is run beyond its arguments, input and environment.
struct RunOptions {
  bool closeStdin = false;                    // start it with descriptor 0 closed
  bool closeStdout = false;                   // ... 1 closed (out stays empty)
  bool closeStderr = false;                   // ... 2 closed (err stays empty)
  std::chrono::milliseconds timeout{300000};  // then it is killed (SIGKILL)
};

enum class Account { kAdmin, kUser, kNone };

// As the value of an environment addition: the variable is removed from the
// child's environment instead (one the test process itself inherited).
inline constexpr char kUnsetVariable[] = "\x01(unset)";

// The environment the sandbox prints for an account (KRB5_CONFIG, KRB5CCNAME,
// LDAPURI, ...) plus the facts it exports (VARNEL_SANDBOX_*).
const std::map<std::string, std::string>& SandboxEnv(Account account = Account::kAdmin);
std::string SandboxFact(const std::string& name);

// Runs argv with the given standard input and environment additions.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& env, bool closeStdin = false);

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& env, const RunOptions& options);

// Runs the varnel binary under the sandbox environment of an account.
ProcessResult RunVarnel(const std::vector<std::string>& args, const std::string& input = "",
                        Account account = Account::kAdmin);
ProcessResult RunVarnel(const std::vector<std::string>& args, const std::string& input,
                        Account account, const RunOptions& options);

// The command line that runs the varnel binary with args. When the
// environment variable VARNEL_WRAPPER is set, its blank-separated words come
// first (e.g. "valgrind --error-exitcode=99 --log-file=/tmp/vg.%p.log"), so
// that every run of the suite can go through a checker.
std::vector<std::string> VarnelCommand(const std::vector<std::string>& args);

// A process that runs while the test watches it: its standard input is a
// pipe the test writes to, its standard output a pipe the test reads as it
// comes, its standard error a file. It can be paused and resumed, so a test
// can change the world (stop the directory) at a known point of its run.
// The destructor kills a process that is still running.
class LiveProcess {
 public:
  LiveProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
  ~LiveProcess();
  LiveProcess(const LiveProcess&) = delete;
  LiveProcess& operator=(const LiveProcess&) = delete;

  // Writes to the process's standard input (blocks while the pipe is full).
  void Write(const std::string& text);
  void CloseInput();
  // Reads standard output until it holds `text` at least `count` times, the
  // process closes it, or the timeout passes; true when the text was seen.
  bool WaitForOutput(const std::string& text, size_t count, std::chrono::milliseconds timeout);
  // Stops the process (SIGSTOP) and waits until it is stopped; then takes in
  // everything it wrote before. False when it had already ended.
  bool Pause();
  void Resume();
  // Standard output read so far.
  const std::string& Output() const { return out_; }
  pid_t pid() const { return pid_; }
  // Closes standard input, reads standard output to its end and waits for
  // the process, killing it after the timeout.
  ProcessResult Finish(std::chrono::milliseconds timeout = std::chrono::seconds(300));
  // As Finish, but standard input stays open: the process must end by itself.
  ProcessResult Await(std::chrono::milliseconds timeout);

 private:
  // Reads what is ready on standard output, waiting at most waitMs for it.
  // False once the output has ended.
  bool ReadSome(int waitMs);
  bool Reap(bool block);

  pid_t pid_ = -1;
  int in_ = -1;
  int outPipe_ = -1;
  std::string errPath_;
  std::string out_;
  bool outputEnded_ = false;
  bool reaped_ = false;
  int waitStatus_ = 0;
  std::chrono::milliseconds cpu_{0};
  std::chrono::steady_clock::time_point started_;
};

// Starts the varnel binary (through VARNEL_WRAPPER, if set) as a LiveProcess
// under the sandbox environment of an account.
std::unique_ptr<LiveProcess> StartVarnel(const std::vector<std::string>& args,
                                         Account account = Account::kAdmin);

// ---- Finding the domain controller through the sandbox's DNS.
//
// The sandbox's DC serves its domain's zones on VARNEL_SANDBOX_DNS
// (127.0.0.1:53). The machine's resolver does not know them: a command
// resolves through them when sandbox/with-domain-dns runs it, which lays a
// private resolv.conf over /etc/resolv.conf in a mount namespace of its own
// (root only; the command keeps its process, input, output and exit status).
// In a network namespace with nothing but the loopback interface, as in CI,
// getaddrinfo with AI_ADDRCONFIG finds no address at all, not even
// 127.0.0.1: "getent ahosts" fails there where "getent hosts" works.

// argv run through sandbox/with-domain-dns. Compose it outermost:
// DomainDnsCommand(VarnelCommand(args)) keeps VARNEL_WRAPPER (valgrind)
// inside, right before the binary.
std::vector<std::string> DomainDnsCommand(const std::vector<std::string>& argv);

// SandboxEnv(account) that names no server: LDAPURI, LDAPHOST, LDAPCONF and
// LDAPRC removed (also when the test process inherited them), HOME a folder
// that does not exist (no ldaprc or .ldaprc there). Throws std::runtime_error when a server
// would still be named: by URI or HOST in the system ldap.conf, or by an
// ldaprc in the working folder.
const std::map<std::string, std::string>& NoServerEnv(Account account = Account::kAdmin);

// Runs the varnel binary with no server named, resolving through the
// sandbox's DNS: RunProcess(DomainDnsCommand(VarnelCommand(args)), input,
// NoServerEnv(account), options).
ProcessResult RunVarnelWithoutServer(const std::vector<std::string>& args,
                                     const std::string& input = "",
                                     Account account = Account::kAdmin,
                                     const RunOptions& options = RunOptions{});

// The DNS changes of one test, made as the administrator through
// "varnel-sandbox dns" (samba-tool dns against the DC) and undone in reverse
// order when it goes out of scope, whether the test passed or failed. zone is
// "varnel.test" or "_msdcs.varnel.test"; name is relative to it; data as
// samba-tool takes it (for SRV "target port priority weight"). An undo that
// fails is reported as a test failure. Each change throws std::runtime_error when samba-tool
// refuses it (it is then not undone). E.g. a dead first DC:
//   DnsChanges dns;
//   dns.Add("varnel.test", "dead", "A", "127.0.0.2");
//   dns.Add("_msdcs.varnel.test", "_ldap._tcp.dc", "SRV", "dead.varnel.test 389 0 100");
//   dns.Update("_msdcs.varnel.test", "_ldap._tcp.dc", "SRV", "dc1.varnel.test 389 0 100",
//              "dc1.varnel.test 389 10 100");
// (the site's record, _ldap._tcp.Default-First-Site-Name._sites.dc, names
// dc1 as well).
class DnsChanges {
 public:
  DnsChanges() = default;
  ~DnsChanges();
  DnsChanges(const DnsChanges&) = delete;
  DnsChanges& operator=(const DnsChanges&) = delete;

  void Add(const std::string& zone, const std::string& name, const std::string& type,
           const std::string& data);
  void Delete(const std::string& zone, const std::string& name, const std::string& type,
              const std::string& data);
  void Update(const std::string& zone, const std::string& name, const std::string& type,
              const std::string& oldData, const std::string& newData);

 private:
  // The "varnel-sandbox dns" arguments that undo each change, oldest first.
  std::vector<std::vector<std::string>> undo_;
};

// A listening socket on 127.0.0.1 that is never accepted from, like a
// domain controller that hangs. With room in its queue the kernel completes
// every connection, which then hears nothing; with answerSyn false its queue
// is held full by a connection of its own (a backlog of 0), so the kernel
// drops the next client's SYN and that connect is never answered.
class SilentListener {
 public:
  explicit SilentListener(bool answerSyn = true);
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

// Stops the sandbox's domain controller (the directory keeps its contents) or
// starts it again in native mode; true when the sandbox script succeeded.
bool StopDomainController();
bool StartDomainController();

// Applies LDIF with ldapmodify as the administrator; returns ldapmodify's status.
int ApplyLdif(const std::string& ldif, bool continueOnError = false);

// Reads one entry with ldapsearch as the administrator: attribute name
// (lower-cased) to values. Empty map when the entry does not exist.
std::map<std::string, std::vector<std::string>> ReadEntry(
    const std::string& dn, const std::vector<std::string>& attrs = {});
// First value of an attribute, or "" when absent.
std::string ReadValue(const std::string& dn, const std::string& attribute);

// Base DN of the sandbox domain and the OU where tests create their objects.
std::string DomainDn();
std::string TestOu();

// Access control written into the DC's own database with samba-tool (root
// only; the sandbox's samba-tool cannot bind over LDAP): the SID of an
// account ("" when it cannot be read), and ACEs in SDDL added to an object.
std::string AccountSid(const std::string& account);
bool AddAces(const std::string& dn, const std::string& sddl);

// A fresh OU below TestOu() for one test; its subtree is deleted first.
std::string FreshOu(const std::string& name);
// Adds a user, contact or group in ou; returns its DN.
std::string AddUser(const std::string& ou, const std::string& cn,
                    const std::string& extraLdif = "");
std::string AddContact(const std::string& ou, const std::string& cn,
                       const std::string& extraLdif = "");
std::string AddGroup(const std::string& ou, const std::string& cn,
                     const std::string& extraLdif = "");

// A path below /tmp that no other test uses; the file is not created, and it
// is removed when the test program ends.
std::string ScratchPath(const std::string& tag);
// The bytes of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Decodes base64 text; characters outside the alphabet are ignored.
std::string Base64Decode(const std::string& text);

// Runs the varnel binary like RunVarnel, but with standard error on a
// pseudo-terminal (raw mode, so bytes pass unchanged; 120 columns): `err`
// holds every byte written to the terminal, `out` standard output (a file).
ProcessResult RunVarnelOnTerminal(const std::vector<std::string>& args, const std::string& input,
                                  Account account = Account::kAdmin);

// Small text helpers for checking a run's output.
std::string Lines(const std::vector<std::string>& dns);  // one DN per line
size_t Count(const std::string& text, const std::string& needle);
// The number after a summary label ("Successful    : "), or -1.
long SummaryNumber(const std::string& out, const std::string& label);

}  // namespace varnel::integration
