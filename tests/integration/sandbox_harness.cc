#include "integration/sandbox_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "ldap/sasl_settings.h"

extern char** environ;

namespace varnel::integration {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::string TempPath(const char* tag) {
  static int counter = 0;
  return "/tmp/varnel-it-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + tag;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Parses the `export NAME=VALUE` lines that the sandbox prints.
std::map<std::string, std::string> ParseExports(const std::string& text) {
  std::map<std::string, std::string> env;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("export ", 0) != 0) continue;
    line = line.substr(7);
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    env[line.substr(0, eq)] = value;
  }
  return env;
}

int StatusOf(int wstatus) {
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

// In a forked child: sets the environment additions and runs argv, with the
// signal dispositions a shell would give it.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env) {
  signal(SIGPIPE, SIG_DFL);
  for (const auto& [name, value] : env) {
    if (value == kUnsetVariable) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

std::vector<std::string> LdapToolArgs(const std::string& tool) {
  return {tool, "-Q", "-Y", "GSSAPI", "-H", SandboxEnv().at("LDAPURI")};
}

}  // namespace

std::string Base64Decode(const std::string& text) {
  static const std::string chars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  int bits = 0, accumulated = 0;
  for (char c : text) {
    size_t v = chars.find(c);
    if (v == std::string::npos) continue;
    accumulated = ((accumulated << 6) | static_cast<int>(v)) & 0xFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((accumulated >> bits) & 0xFF));
    }
  }
  return out;
}

// The scratch files a test was given go when the test program ends.
std::string ScratchPath(const std::string& tag) {
  struct Scratch {
    std::vector<std::string> paths;
    ~Scratch() {
      for (const std::string& path : paths) std::remove(path.c_str());  // a file or an empty folder
    }
  };
  static Scratch scratch;
  scratch.paths.push_back(TempPath(tag.c_str()));
  return scratch.paths.back();
}

std::string ReadFileBytes(const std::string& path) { return ReadFile(path); }

const std::map<std::string, std::string>& SandboxEnv(Account account) {
  static std::map<Account, std::map<std::string, std::string>> cache;
  auto found = cache.find(account);
  if (found != cache.end()) return found->second;
  std::vector<std::string> argv{"bash", VARNEL_SANDBOX, "env"};
  if (account == Account::kUser) argv.push_back("--user");
  ProcessResult result = RunProcess(argv, "", {});
  if (result.status != 0)
    throw std::runtime_error("sandbox env failed: " + result.err + result.out);
  std::map<std::string, std::string> env = ParseExports(result.out);
  if (account == Account::kNone) env["KRB5CCNAME"] = "FILE:/nonexistent/varnel-no-ticket";
  return cache[account] = env;
}

std::string SandboxFact(const std::string& name) {
  const auto& env = SandboxEnv();
  auto it = env.find(name);
  return it == env.end() ? "" : it->second;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& env, bool closeStdin) {
  RunOptions options;
  options.closeStdin = closeStdin;
  return RunProcess(argv, input, env, options);
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& env, const RunOptions& options) {
  std::string inPath = TempPath("in"), outPath = TempPath("out"), errPath = TempPath("err");
  {
    std::ofstream in(inPath, std::ios::binary);
    in << input;
  }
  auto started = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (options.closeStdin) {
      close(0);
    } else {
      int in = open(inPath.c_str(), O_RDONLY);
      dup2(in, 0);
      close(in);
    }
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (options.closeStdout) close(1);
    if (options.closeStderr) close(2);
    ExecChild(argv, env);
  }
  ProcessResult result;
  int wstatus = 0;
  rusage usage{};
  auto deadline = started + options.timeout;
  for (;;) {
    pid_t done = wait4(pid, &wstatus, WNOHANG, &usage);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      wait4(pid, &wstatus, 0, &usage);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  auto cpuOf = [](const timeval& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
  };
  result.cpu = std::chrono::duration_cast<std::chrono::milliseconds>(cpuOf(usage.ru_utime) +
                                                                     cpuOf(usage.ru_stime));
  result.status = StatusOf(wstatus);
  result.termSignal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  unlink(inPath.c_str());
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return result;
}

std::vector<std::string> VarnelCommand(const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  if (const char* wrapper = std::getenv("VARNEL_WRAPPER")) {
    std::istringstream words(wrapper);
    std::string word;
    while (words >> word) argv.push_back(word);
  }
  argv.push_back(VARNEL_BINARY);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

ProcessResult RunVarnel(const std::vector<std::string>& args, const std::string& input,
                        Account account) {
  return RunVarnel(args, input, account, RunOptions{});
}

ProcessResult RunVarnel(const std::vector<std::string>& args, const std::string& input,
                        Account account, const RunOptions& options) {
  return RunProcess(VarnelCommand(args), input, SandboxEnv(account), options);
}

ProcessResult RunVarnelOnTerminal(const std::vector<std::string>& args, const std::string& input,
                                  Account account) {
  std::string inPath = TempPath("in"), outPath = TempPath("out");
  {
    std::ofstream in(inPath, std::ios::binary);
    in << input;
  }
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
    throw std::runtime_error("no pseudo-terminal");
  const std::string slavePath = ptsname(master);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 120;
  ioctl(master, TIOCSWINSZ, &size);
  const std::vector<std::string> argv = VarnelCommand(args);
  const std::map<std::string, std::string>& env = SandboxEnv(account);
  auto started = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    int in = open(inPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(slave, 2);
    close(in);
    close(out);
    close(slave);
    ExecChild(argv, env);
  }
  ProcessResult result;
  int wstatus = 0;
  bool exited = false;
  // The terminal is read while the process runs, or it would block once
  // the terminal's buffer is full.
  for (;;) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 20) > 0) {
      char buffer[4096];
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got > 0) {
        result.err.append(buffer, static_cast<size_t>(got));
        continue;
      }
      if (exited) break;  // EIO: no writer is left and the buffer is empty
    } else if (exited) {
      break;
    }
    if (!exited && waitpid(pid, &wstatus, WNOHANG) == pid) exited = true;
    if (!exited && std::chrono::steady_clock::now() - started > std::chrono::seconds(300)) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      exited = true;
      result.timedOut = true;
    }
  }
  close(master);
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  result.status = StatusOf(wstatus);
  result.termSignal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  result.out = ReadFile(outPath);
  unlink(inPath.c_str());
  unlink(outPath.c_str());
  return result;
}

LiveProcess::LiveProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env)
    : errPath_(TempPath("live-err")) {
  // A write to the input of a process that has ended must fail, not end the test.
  signal(SIGPIPE, SIG_IGN);
  int inPipe[2], outPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  started_ = std::chrono::steady_clock::now();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err, 2);
    close(err);
    ExecChild(argv, env);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  in_ = inPipe[1];
  outPipe_ = outPipe[0];
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

LiveProcess::~LiveProcess() {
  if (!reaped_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  if (in_ >= 0) close(in_);
  if (outPipe_ >= 0) close(outPipe_);
  unlink(errPath_.c_str());
}

void LiveProcess::Write(const std::string& text) {
  size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the process no longer reads its input
    done += static_cast<size_t>(n);
  }
}

void LiveProcess::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

bool LiveProcess::ReadSome(int waitMs) {
  if (outputEnded_) return false;
  pollfd ready{outPipe_, POLLIN, 0};
  int n = poll(&ready, 1, waitMs);
  if (n <= 0) return true;
  char buffer[4096];
  ssize_t got = read(outPipe_, buffer, sizeof buffer);
  if (got < 0 && errno == EINTR) return true;
  if (got <= 0) {
    outputEnded_ = true;
    return false;
  }
  out_.append(buffer, static_cast<size_t>(got));
  return true;
}

bool LiveProcess::WaitForOutput(const std::string& text, size_t count,
                                std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    size_t seen = 0;
    for (size_t at = out_.find(text); at != std::string::npos; at = out_.find(text, at + 1)) ++seen;
    if (seen >= count) return true;
    if (outputEnded_ || std::chrono::steady_clock::now() > deadline) return false;
    ReadSome(20);
  }
}

bool LiveProcess::Reap(bool block) {
  if (reaped_) return true;
  int status = 0;
  rusage usage{};
  pid_t done = wait4(pid_, &status, block ? 0 : WNOHANG, &usage);
  if (done != pid_) return false;
  reaped_ = true;
  waitStatus_ = status;
  const auto ms = [](const timeval& t) {
    return std::chrono::milliseconds(t.tv_sec * 1000 + t.tv_usec / 1000);
  };
  cpu_ = ms(usage.ru_utime) + ms(usage.ru_stime);
  return true;
}

bool LiveProcess::Pause() {
  if (reaped_) return false;
  kill(pid_, SIGSTOP);
  int status = 0;
  pid_t done = waitpid(pid_, &status, WUNTRACED);
  if (done != pid_) return false;
  if (!WIFSTOPPED(status)) {  // it ended before the signal came
    reaped_ = true;
    waitStatus_ = status;
    while (ReadSome(0)) {
    }
    return false;
  }
  // Everything written before the stop is in the pipe now.
  for (;;) {
    size_t before = out_.size();
    if (!ReadSome(0) || out_.size() == before) break;
  }
  return true;
}

void LiveProcess::Resume() {
  if (!reaped_) kill(pid_, SIGCONT);
}

ProcessResult LiveProcess::Finish(std::chrono::milliseconds timeout) {
  CloseInput();
  return Await(timeout);
}

ProcessResult LiveProcess::Await(std::chrono::milliseconds timeout) {
  ProcessResult result;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!outputEnded_ && std::chrono::steady_clock::now() < deadline) ReadSome(20);
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      Reap(true);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  result.status = StatusOf(waitStatus_);
  result.termSignal = WIFSIGNALED(waitStatus_) ? WTERMSIG(waitStatus_) : 0;
  result.cpu = cpu_;
  result.out = out_;
  result.err = ReadFile(errPath_);
  return result;
}

std::unique_ptr<LiveProcess> StartVarnel(const std::vector<std::string>& args, Account account) {
  return std::make_unique<LiveProcess>(VarnelCommand(args), SandboxEnv(account));
}

std::vector<std::string> DomainDnsCommand(const std::vector<std::string>& argv) {
  std::vector<std::string> wrapped{"bash", VARNEL_WITH_DOMAIN_DNS, "--"};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

const std::map<std::string, std::string>& NoServerEnv(Account account) {
  static std::map<Account, std::map<std::string, std::string>> cache;
  auto found = cache.find(account);
  if (found != cache.end()) return found->second;
  // libldap reads the system file whatever the environment says.
  std::istringstream lines(ReadFile(kSystemLdapConf));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    keyword = Lower(keyword);
    if (keyword == "uri" || keyword == "host")
      throw std::runtime_error(std::string(kSystemLdapConf) + " names a server ('" + line +
                               "'); runs that find the domain controller need a machine whose "
                               "ldap.conf names none");
  }
  if (access("ldaprc", F_OK) == 0)
    throw std::runtime_error(
        "the working folder holds an ldaprc, which libldap reads; runs that find the domain "
        "controller need a folder without one");
  std::map<std::string, std::string> env = SandboxEnv(account);
  for (const char* name : {"LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC"}) env[name] = kUnsetVariable;
  env["HOME"] = "/nonexistent";
  return cache[account] = env;
}

ProcessResult RunVarnelWithoutServer(const std::vector<std::string>& args, const std::string& input,
                                     Account account, const RunOptions& options) {
  return RunProcess(DomainDnsCommand(VarnelCommand(args)), input, NoServerEnv(account), options);
}

namespace {

ProcessResult SandboxDns(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"bash", VARNEL_SANDBOX, "dns"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, "", {});
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "'" : " '") + word + "'";
  return text;
}

// Makes one change; throws when samba-tool refuses it.
void ChangeDns(const std::vector<std::string>& args) {
  ProcessResult result = SandboxDns(args);
  if (result.status != 0)
    throw std::runtime_error("varnel-sandbox dns " + Joined(args) + " failed: " + result.err +
                             result.out);
}

}  // namespace

void DnsChanges::Add(const std::string& zone, const std::string& name, const std::string& type,
                     const std::string& data) {
  ChangeDns({"add", zone, name, type, data});
  undo_.push_back({"delete", zone, name, type, data});
}

void DnsChanges::Delete(const std::string& zone, const std::string& name, const std::string& type,
                        const std::string& data) {
  ChangeDns({"delete", zone, name, type, data});
  undo_.push_back({"add", zone, name, type, data});
}

void DnsChanges::Update(const std::string& zone, const std::string& name, const std::string& type,
                        const std::string& oldData, const std::string& newData) {
  ChangeDns({"update", zone, name, type, oldData, newData});
  undo_.push_back({"update", zone, name, type, newData, oldData});
}

DnsChanges::~DnsChanges() {
  for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
    ProcessResult result = SandboxDns(*undo);
    if (result.status != 0)
      ADD_FAILURE() << "could not undo a DNS change of the test: varnel-sandbox dns "
                    << Joined(*undo) << ": " << result.err << result.out;
  }
}

bool StopDomainController() {
  return RunProcess({"bash", VARNEL_SANDBOX, "stop"}, "", {}).status == 0;
}

bool StartDomainController() {
  return RunProcess({"bash", VARNEL_SANDBOX, "start", "--native"}, "", {}).status == 0;
}

int ApplyLdif(const std::string& ldif, bool continueOnError) {
  std::vector<std::string> argv = LdapToolArgs("ldapmodify");
  if (continueOnError) argv.push_back("-c");
  ProcessResult result = RunProcess(argv, ldif, SandboxEnv());
  return result.status;
}

std::map<std::string, std::vector<std::string>> ReadEntry(const std::string& dn,
                                                          const std::vector<std::string>& attrs) {
  std::vector<std::string> argv = LdapToolArgs("ldapsearch");
  for (const char* a : {"-LLL", "-o", "ldif-wrap=no", "-s", "base", "-b"}) argv.push_back(a);
  argv.push_back(dn);
  argv.push_back("(objectClass=*)");
  for (const std::string& a : attrs) argv.push_back(a);
  ProcessResult result = RunProcess(argv, "", SandboxEnv());
  std::map<std::string, std::vector<std::string>> entry;
  if (result.status != 0) return entry;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t colon = line.find(':');
    if (line.empty() || colon == std::string::npos) continue;
    std::string name = Lower(line.substr(0, colon));
    std::string value;
    if (line.compare(colon, 2, "::") == 0) {
      value = Base64Decode(line.substr(colon + 2));
    } else {
      value = line.substr(colon + 1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    }
    entry[name].push_back(value);
  }
  return entry;
}

std::string ReadValue(const std::string& dn, const std::string& attribute) {
  auto entry = ReadEntry(dn, {attribute});
  auto it = entry.find(Lower(attribute));
  return it == entry.end() || it->second.empty() ? "" : it->second.front();
}

SilentListener::SilentListener(bool answerSyn) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd_, answerSyn ? 16 : 0) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  port_ = ntohs(address.sin_port);
  if (!answerSyn) {
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler_ < 0 || connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot fill the listening queue");
  }
}

SilentListener::~SilentListener() {
  if (filler_ >= 0) close(filler_);
  close(fd_);
}

std::string DomainDn() { return SandboxFact("VARNEL_SANDBOX_BASE"); }

std::string TestOu() {
  static bool made = false;
  std::string ou = "OU=Varnel Tests," + DomainDn();
  if (!made) {
    ApplyLdif("dn: " + ou + "\nchangetype: add\nobjectClass: organizationalUnit\n");
    made = true;
  }
  return ou;
}

std::string FreshOu(const std::string& name) {
  std::string ou = "OU=" + name + "," + TestOu();
  std::vector<std::string> argv = LdapToolArgs("ldapdelete");
  argv.push_back("-r");
  argv.push_back(ou);
  RunProcess(argv, "", SandboxEnv());
  if (ApplyLdif("dn: " + ou + "\nchangetype: add\nobjectClass: organizationalUnit\n") != 0)
    throw std::runtime_error("cannot create " + ou);
  return ou;
}

namespace {

std::string AddObject(const std::string& ou, const std::string& cn, const std::string& classes,
                      const std::string& extraLdif) {
  std::string dn = "CN=" + cn + "," + ou;
  std::string ldif = "dn: " + dn + "\nchangetype: add\n" + classes + extraLdif;
  if (ApplyLdif(ldif) != 0) throw std::runtime_error("cannot add " + dn);
  return dn;
}

std::string AccountName(const std::string& cn) {
  std::string name;
  for (char c : cn)
    if (std::isalnum(static_cast<unsigned char>(c))) name.push_back(c);
  static int counter = 0;
  return name.substr(0, 12) + std::to_string(getpid() % 1000) + std::to_string(counter++);
}

}  // namespace

std::string AddUser(const std::string& ou, const std::string& cn, const std::string& extraLdif) {
  return AddObject(ou, cn, "objectClass: user\nsAMAccountName: " + AccountName(cn) + "\n",
                   extraLdif);
}

std::string AddContact(const std::string& ou, const std::string& cn, const std::string& extraLdif) {
  return AddObject(ou, cn, "objectClass: contact\n", extraLdif);
}

std::string AddGroup(const std::string& ou, const std::string& cn, const std::string& extraLdif) {
  return AddObject(ou, cn, "objectClass: group\nsAMAccountName: " + AccountName(cn) + "\n",
                   extraLdif);
}

std::string Lines(const std::vector<std::string>& dns) {
  std::string text;
  for (const std::string& dn : dns) text += dn + "\n";
  return text;
}

size_t Count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

long SummaryNumber(const std::string& out, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(out, match, std::regex("(^|\n)" + label + "([0-9]+)\n"))) return -1;
  return std::stol(match[2]);
}

namespace {

ProcessResult SambaTool(std::vector<std::string> args) {
  const std::string dc = SandboxFact("VARNEL_SANDBOX_STATE") + "/dc";
  args.insert(args.begin(), "samba-tool");
  args.insert(args.end(), {"-H", dc + "/private/sam.ldb", "-s", dc + "/etc/smb.conf"});
  return RunProcess(args, "", SandboxEnv());
}

}  // namespace

std::string AccountSid(const std::string& account) {
  const std::string shown = SambaTool({"user", "show", account, "--attributes=objectSid"}).out;
  const size_t at = shown.find("S-1-");
  return at == std::string::npos ? "" : shown.substr(at, shown.find('\n', at) - at);
}

bool AddAces(const std::string& dn, const std::string& sddl) {
  return SambaTool({"dsacl", "set", "--objectdn=" + dn, "--sddl=" + sddl}).status == 0;
}

}  // namespace varnel::integration
