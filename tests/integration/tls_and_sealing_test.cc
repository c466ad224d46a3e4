// Protection of the session against the sandbox directory: sealed Kerberos
// sessions by default, refused or warned about when the LDAP settings lower
// it, and ldaps:// sessions with the sandbox's certificate. A relay between
// varnel and the directory shows what crosses the wire.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "integration/sandbox_harness.h"

namespace varnel::integration {
namespace {

// Forwards every connection made to its port to 127.0.0.1:targetPort and
// keeps all bytes that pass, both ways.
class TcpRelay {
 public:
  explicit TcpRelay(int targetPort) : target_(targetPort) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listen_, 8) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("relay: cannot listen");
    port_ = ntohs(address.sin_port);
    worker_ = std::thread([this] { Run(); });
  }
  ~TcpRelay() {
    stop_ = true;
    worker_.join();
    close(listen_);
  }
  int port() const { return port_; }
  std::string Traffic() {
    std::lock_guard<std::mutex> lock(mutex_);
    return traffic_;
  }

 private:
  int Connect() const {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(target_));
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      return fd;
    if (fd >= 0) close(fd);
    return -1;
  }

  void Run() {
    std::vector<std::pair<int, int>> pairs;  // (from, to); each connection gives two
    while (!stop_) {
      std::vector<pollfd> fds{{listen_, POLLIN, 0}};
      for (const auto& [from, to] : pairs) fds.push_back({from, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 50) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        int server = client >= 0 ? Connect() : -1;
        if (server >= 0) {
          pairs.push_back({client, server});
          pairs.push_back({server, client});
        } else if (client >= 0) {
          close(client);
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[16384];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        auto& [from, to] = pairs[i - 1];
        if (n > 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          traffic_.append(buffer, static_cast<size_t>(n));
          if (send(to, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) == n) continue;
        }
        shutdown(to, SHUT_WR);
        from = -1;  // this direction is over
      }
      std::vector<std::pair<int, int>> open;
      for (size_t i = 0; i < pairs.size(); i += 2) {
        if (pairs[i].first < 0 && pairs[i + 1].first < 0) {
          close(pairs[i + 1].second);
          close(pairs[i].second);
        } else {
          open.push_back(pairs[i]);
          open.push_back(pairs[i + 1]);
        }
      }
      pairs = std::move(open);
    }
    for (size_t i = 0; i < pairs.size(); i += 2) {
      close(pairs[i].second);
      close(pairs[i + 1].second);
    }
  }

  int target_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread worker_;
  std::mutex mutex_;
  std::string traffic_;
};

ProcessResult RunWith(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env = SandboxEnv();
  for (const auto& [name, value] : extra) env[name] = value;
  return RunProcess(VarnelCommand(args), "", env);
}

bool SandboxCommand(const std::vector<std::string>& words) {
  std::vector<std::string> argv{"bash", VARNEL_SANDBOX};
  argv.insert(argv.end(), words.begin(), words.end());
  return RunProcess(argv, "", {}).status == 0;
}

const std::string kWarning =
    "WARNING: LDAP_BIND: [localhost] The session is not sealed (SASL SSF 0): a minssf below 56";

TEST(SealingIT, DefaultRunIsSealedOnTheWire) {
  std::string ou = FreshOu("sealed");
  std::string dn = AddUser(ou, "Sealed Quentin");
  TcpRelay relay(389);
  ProcessResult r = RunWith(
      {"-upd", "-hfal", "-d", "-b", dn, "-h", "localhost:" + std::to_string(relay.port())}, {});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DEBUG: SASL SSF: 256\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "TRUE");
  const std::string traffic = relay.Traffic();
  EXPECT_GT(traffic.size(), 1000u);
  EXPECT_EQ(traffic.find("Sealed Quentin"), std::string::npos);
  EXPECT_EQ(traffic.find("msExchHideFromAddressLists"), std::string::npos);
}

TEST(SealingIT, MaxssfWithoutMinssfIsRefusedAtBind) {
  std::string ou = FreshOu("maxssf");
  std::string dn = AddUser(ou, "Maxssf Rita");
  ProcessResult r =
      RunWith({"-upd", "-hfal", "-b", dn, "-h", "localhost"}, {{"LDAPSASL_SECPROPS", "maxssf=0"}});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("\nERROR: LDAP_BIND: [localhost] The session cannot be sealed: the SASL "
                       "settings allow at most 0 bits (maxssf), sealing needs 56;"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Using server"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "");
}

// A directory that accepts unprotected Kerberos binds, for the length of one test.
class WeakServerIT : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SandboxCommand({"strong-auth", "off"})); }
  void TearDown() override { EXPECT_TRUE(SandboxCommand({"strong-auth", "on"})); }
};

TEST_F(WeakServerIT, ExplicitMinssfZeroRunsInClearTextWithAWarning) {
  std::string ou = FreshOu("unsealed");
  std::string dn = AddUser(ou, "Unsealed Simon");
  TcpRelay relay(389);
  const std::string host = "localhost:" + std::to_string(relay.port());

  // maxssf=0 alone still refuses, even where the server would accept it.
  ProcessResult refused =
      RunWith({"-upd", "-hfal", "-b", dn, "-h", host}, {{"LDAPSASL_SECPROPS", "maxssf=0"}});
  EXPECT_EQ(refused.status, 255) << refused.err;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "");

  // So does a value libldap ignores as a whole (a blank after the comma).
  ProcessResult ignored =
      RunWith({"-upd", "-q", "-b", dn, "-h", host}, {{"LDAPSASL_SECPROPS", "minssf=0, maxssf=0"}});
  EXPECT_EQ(ignored.status, 0) << ignored.err;
  EXPECT_EQ(ignored.err.find("WARNING"), std::string::npos) << ignored.err;
  EXPECT_EQ(relay.Traffic().find("Unsealed Simon"), std::string::npos);

  ProcessResult r = RunWith({"-upd", "-hfal", "-b", dn, "-h", host},
                            {{"LDAPSASL_SECPROPS", "minssf=0,maxssf=0"}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("\n" + kWarning), std::string::npos) << r.err;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "TRUE");
  // The relay does see clear text when there is some.
  EXPECT_NE(relay.Traffic().find("Unsealed Simon"), std::string::npos);
}

TEST_F(WeakServerIT, MinssfFromAnLdaprcFileCountsAsExplicit) {
  std::string ou = FreshOu("ldaprc");
  std::string dn = AddUser(ou, "Ldaprc Tara");
  const std::string home = ::testing::TempDir() + "/varnel-ldaprc-home";
  ASSERT_EQ(RunProcess({"mkdir", "-p", home}, "", {}).status, 0);
  ASSERT_EQ(RunProcess(
                {"bash", "-c", "printf 'SASL_SECPROPS minssf=0,maxssf=0\\n' >\"$0/.ldaprc\"", home},
                "", {})
                .status,
            0);
  ProcessResult r = RunWith({"-upd", "-b", dn, "-h", "localhost"}, {{"HOME", home}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(kWarning), std::string::npos) << r.err;
}

TEST(LdapsIT, UpdateAndMailEnableOverLdaps) {
  std::string ou = FreshOu("ldaps");
  std::string user = AddUser(ou, "Ldaps Ursula");
  ProcessResult r = RunWith({"-upd", "-hfal", "-d", "-b", user, "-h", "ldaps://localhost"}, {});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("DEBUG: TLS: 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadValue(user, "msExchHideFromAddressLists"), "TRUE");

  // The mail-enable goes through the directory object service, which binds
  // the object by an ADsPath that carries the ldaps:// server.
  std::string contact = AddContact(ou, "Ldaps Victor");
  ProcessResult me = RunWith(
      {"-me", "smtp:victor@example.com", "-q", "-b", contact, "-h", "ldaps://localhost:636"}, {});
  EXPECT_EQ(me.status, 0) << me.err << me.out;
  EXPECT_EQ(ReadValue(contact, "targetAddress"), "smtp:victor@example.com");
}

TEST(LdapsIT, CertificateFromAnotherCaIsAClearError) {
  const std::string ca = ::testing::TempDir() + "/varnel-other-ca.pem";
  ASSERT_EQ(RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                        "/dev/null", "-subj", "/CN=Some other CA", "-days", "1", "-out", ca},
                       "", {})
                .status,
            0);
  std::string dn = AddUser(FreshOu("badca"), "Badca Walter");
  ProcessResult r =
      RunWith({"-upd", "-hfal", "-b", dn, "-h", "ldaps://localhost"}, {{"LDAPTLS_CACERT", ca}});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("\nERROR: TLS: [localhost] The server was reached but TLS failed: its "
                       "certificate was not accepted"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadValue(dn, "msExchHideFromAddressLists"), "");
}

}  // namespace
}  // namespace varnel::integration
