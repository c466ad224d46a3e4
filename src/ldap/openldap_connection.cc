#include "ldap/openldap_connection.h"

#include <poll.h>
#include <sasl/sasl.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "ldap/kerberos_ticket.h"
#include "ldap/result_codes.h"
#include "ldap/sasl_settings.h"
#include "ldap/server_address.h"
#include "platform/stop_request.h"

namespace varnel {
namespace {

struct ValuesDeleter {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};
using ValuesPtr = std::unique_ptr<berval*, ValuesDeleter>;

struct BerDeleter {
  void operator()(BerElement* ber) const { ber_free(ber, 0); }
};
using BerPtr = std::unique_ptr<BerElement, BerDeleter>;

struct MemDeleter {
  void operator()(char* text) const { ldap_memfree(text); }
};
using LdapTextPtr = std::unique_ptr<char, MemDeleter>;

// The credentials come from the ticket cache: every prompt is answered empty
// (standard input carries DNs, so the tool never prompts).
int AnswerNothing(LDAP*, unsigned, void*, void* prompts) {
  for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
       ++prompt) {
    prompt->result = "";
    prompt->len = 0;
  }
  return LDAP_SUCCESS;
}

bool MechanismRefused(int code) {
  return code == LDAP_AUTH_METHOD_NOT_SUPPORTED || code == LDAP_AUTH_UNKNOWN ||
         code == LDAP_NOT_SUPPORTED;
}

// True when every URI of a libldap URI list (blanks or commas between them)
// is an ldaps:// one. A list that mixes them counts as plain: the sealing
// rule then asks for a SASL layer, which errs on the safe side.
bool AllLdaps(const char* list) {
  bool any = false;
  const std::string text = list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(" \t,", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      if (strncasecmp(text.c_str() + start, "ldaps://", 8) != 0) return false;
      any = true;
    }
    start = end + 1;
  }
  return any;
}

// The set-up deadline's layer of a connection's socket buffer, below TLS
// and any SASL layer: it waits for the socket itself, in poll(), so neither
// a blocking read nor libldap's non-blocking TLS handshake can outlast the
// deadline, and the handshake never retries in a busy loop.
int DeadlineSetup(Sockbuf_IO_Desc* sbiod, void* deadline) {
  sbiod->sbiod_pvt = deadline;
  return 0;
}

int DeadlineRemove(Sockbuf_IO_Desc*) { return 0; }

int DeadlineControl(Sockbuf_IO_Desc* sbiod, int option, void* argument) {
  return LBER_SBIOD_CTRL_NEXT(sbiod, option, argument);
}

int SocketOf(Sockbuf_IO_Desc* sbiod) {
  ber_socket_t fd = -1;
  ber_sockbuf_ctrl(sbiod->sbiod_sb, LBER_SB_OPT_GET_FD, &fd);
  return fd;
}

ber_slen_t DeadlineRead(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
  const auto* deadline = static_cast<const SetupDeadline*>(sbiod->sbiod_pvt);
  if (!deadline->Wait(SocketOf(sbiod), POLLIN)) return -1;
  return LBER_SBIOD_READ_NEXT(sbiod, buffer, length);
}

ber_slen_t DeadlineWrite(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
  const auto* deadline = static_cast<const SetupDeadline*>(sbiod->sbiod_pvt);
  if (!deadline->Wait(SocketOf(sbiod), POLLOUT)) return -1;
  return LBER_SBIOD_WRITE_NEXT(sbiod, buffer, length);
}

Sockbuf_IO kDeadlineLayer = {DeadlineSetup, DeadlineRemove, DeadlineControl,
                             DeadlineRead,  DeadlineWrite,  nullptr};

}  // namespace

void SetupDeadline::Arm(int seconds) {
  seconds_ = std::max(seconds, 1);
  armed_ = true;
  Restart();
}

void SetupDeadline::Restart() { deadline_ = Clock::now() + std::chrono::seconds(seconds_); }

bool SetupDeadline::Wait(int fd, short events) const {
  if (!armed_ || fd < 0) return true;
  for (;;) {
    // A run asked to stop sends nothing: its set-up ends at once.
    if (StopSignalSeen() != 0) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) break;
    pollfd ready{fd, events, 0};
    const int got = poll(&ready, 1, static_cast<int>(std::min<long long>(left, 1000000)));
    if (got > 0) return true;  // ready, or an error the next layer reports
    if (got < 0 && errno != EINTR) return true;
  }
  errno = ETIMEDOUT;
  return false;
}

void LdapSessionDeleter::operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }

OpenLdapConnection::OpenLdapConnection(LdapSessionPtr session, bool tls,
                                       std::optional<unsigned> explicitMinSsf)
    : session_(std::move(session)), tls_(tls), explicitMinSsf_(explicitMinSsf) {
  connectCallbacks_.lc_add = &OpenLdapConnection::Connected;
  connectCallbacks_.lc_del = &OpenLdapConnection::Closing;
  connectCallbacks_.lc_arg = this;
  ldap_set_option(session_.get(), LDAP_OPT_CONNECT_CB, &connectCallbacks_);
  if (tls_) {
    ldap_set_option(session_.get(), LDAP_OPT_X_TLS_CONNECT_CB,
                    reinterpret_cast<void*>(&OpenLdapConnection::MarkTlsStarted));
    ldap_set_option(session_.get(), LDAP_OPT_X_TLS_CONNECT_ARG, this);
  }
}

int OpenLdapConnection::MarkTlsStarted(LDAP*, void*, void*, void* self) {
  static_cast<OpenLdapConnection*>(self)->tlsStarted_ = true;
  return 0;
}

int OpenLdapConnection::Connected(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*,
                                  ldap_conncb* callbacks) {
  auto* self = static_cast<OpenLdapConnection*>(callbacks->lc_arg);
  // The connect had its own time (the network timeout); the handshake and
  // the bind get theirs.
  self->setupDeadline_.Restart();
  return ber_sockbuf_add_io(sb, &kDeadlineLayer, LBER_SBIOD_LEVEL_TRANSPORT,
                            &self->setupDeadline_) == 0
             ? 0
             : LDAP_LOCAL_ERROR;
}

void OpenLdapConnection::Closing(LDAP*, Sockbuf*, ldap_conncb*) {}

template <typename Bind>
int OpenLdapConnection::WithinSetupDeadline(Bind bind) {
  setupDeadline_.Arm(answerTimeout_);
  const int rc = bind();
  setupDeadline_.Disarm();
  return rc;
}

bool OpenLdapConnection::TlsSetupFailed() {
  return tls_ && tlsStarted_ && ldap_tls_inplace(session_.get()) == 0;
}

int OpenLdapConnection::SetOption(LdapOption option, int value) {
  int rc = LDAP_OPT_SUCCESS;
  switch (option) {
    case LdapOption::kVersion:
      rc = ldap_set_option(session_.get(), LDAP_OPT_PROTOCOL_VERSION, &value);
      break;
  }
  return NormalizeLdapCode(rc);
}

int OpenLdapConnection::SaslBind(const char* mechanism) {
  return ldap_sasl_interactive_bind_s(session_.get(), nullptr, mechanism, nullptr, nullptr,
                                      LDAP_SASL_QUIET, AnswerNothing, nullptr);
}

int OpenLdapConnection::BindEitherMechanism() {
  int code = SaslBind("GSS-SPNEGO");
  if (MechanismRefused(code)) code = SaslBind("GSSAPI");
  return code;
}

int OpenLdapConnection::NegotiateBind() {
  const std::optional<LdapSearchRequest> withBind = std::exchange(withBind_, std::nullopt);
  sentWithBind_.reset();
  if (!withBind)
    return NormalizeLdapCode(WithinSetupDeadline([&] { return BindEitherMechanism(); }));
  int bindRc = LDAP_SUCCESS;
  const int searchRc = WithinSetupDeadline([&] {
    // The search connects, as the bind would have: a server that cannot be
    // reached fails here, once.
    int id = 0;
    const int sent = StartSearch(*withBind, &id);
    if (sent != kLdapSuccess) return sent;
    bindRc = BindEitherMechanism();
    // After a failed bind the session goes, and the bind's diagnostic text
    // must stay its last: the search is left as it is.
    if (bindRc != LDAP_SUCCESS) return kLdapSuccess;
    // A server answers or abandons what is outstanding before it takes a
    // bind, so an answer that has not come with the bind's never will:
    // only what has arrived is taken, and the rest abandoned.
    std::vector<LdapEntry> entries;
    const int saved = std::exchange(answerTimeout_, 0);
    const int answered = FinishSearch(id, &entries);
    answerTimeout_ = saved;
    if (answered == kLdapSuccess) sentWithBind_ = std::move(entries);
    return kLdapSuccess;
  });
  return searchRc != kLdapSuccess ? searchRc : NormalizeLdapCode(bindRc);
}

std::optional<std::vector<LdapEntry>> OpenLdapConnection::TakeSentWithBind() {
  return std::exchange(sentWithBind_, std::nullopt);
}

SessionSecurity OpenLdapConnection::Security() {
  SessionSecurity security;
  security.tls = tls_;
  security.explicitMinSsf = explicitMinSsf_;
  ber_len_t value = 0;
  if (ldap_get_option(session_.get(), LDAP_OPT_X_SASL_SSF_MIN, &value) == LDAP_OPT_SUCCESS)
    security.sasl.min = static_cast<unsigned>(value);
  value = 0;
  if (ldap_get_option(session_.get(), LDAP_OPT_X_SASL_SSF_MAX, &value) == LDAP_OPT_SUCCESS)
    security.sasl.max = static_cast<unsigned>(value);
  return security;
}

int OpenLdapConnection::SetSaslSsf(const SaslSsfRange& range) {
  ber_len_t minimum = range.min;
  ber_len_t maximum = range.max;
  int rc = ldap_set_option(session_.get(), LDAP_OPT_X_SASL_SSF_MIN, &minimum);
  if (rc == LDAP_OPT_SUCCESS)
    rc = ldap_set_option(session_.get(), LDAP_OPT_X_SASL_SSF_MAX, &maximum);
  return NormalizeLdapCode(rc);
}

BoundSecurity OpenLdapConnection::Bound() {
  BoundSecurity bound;
  bound.tlsInPlace = ldap_tls_inplace(session_.get()) != 0;
  ber_len_t ssf = 0;
  if (ldap_get_option(session_.get(), LDAP_OPT_X_SASL_SSF, &ssf) == LDAP_OPT_SUCCESS)
    bound.saslSsf = static_cast<unsigned>(ssf);
  return bound;
}

std::optional<std::string> OpenLdapConnection::MissingTicketCache() {
  return MissingKerberosTicket();
}

namespace {

// The C attribute list of a request: null-terminated, or null for all.
struct AttributeList {
  explicit AttributeList(const LdapSearchRequest& request) {
    if (!request.attributes) return;
    for (const std::string& name : *request.attributes)
      names.push_back(const_cast<char*>(name.c_str()));
    names.push_back(nullptr);
  }
  char** get() { return names.empty() ? nullptr : names.data(); }
  std::vector<char*> names;
};

}  // namespace

void OpenLdapConnection::TakeEntries(LDAPMessage* result, bool attributesOnly,
                                     std::vector<LdapEntry>* entries) {
  for (LDAPMessage* e = ldap_first_entry(session_.get(), result); e != nullptr;
       e = ldap_next_entry(session_.get(), e)) {
    LdapEntry entry;
    if (LdapTextPtr dn{ldap_get_dn(session_.get(), e)}) entry.dn = dn.get();
    BerElement* rawBer = nullptr;
    LdapTextPtr name{ldap_first_attribute(session_.get(), e, &rawBer)};
    BerPtr ber(rawBer);
    for (; name; name.reset(ldap_next_attribute(session_.get(), e, ber.get()))) {
      LdapAttribute attribute{name.get(), {}};
      if (!attributesOnly) {
        ValuesPtr values{ldap_get_values_len(session_.get(), e, name.get())};
        for (berval** v = values.get(); v != nullptr && *v != nullptr; ++v)
          attribute.values.emplace_back((*v)->bv_val, (*v)->bv_len);
      }
      entry.attributes.push_back(std::move(attribute));
    }
    entries->push_back(std::move(entry));
  }
}

int OpenLdapConnection::Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) {
  AttributeList attributes(request);
  LDAPMessage* raw = nullptr;
  int rc =
      ldap_search_ext_s(session_.get(), request.base.c_str(), static_cast<int>(request.scope),
                        request.filter.c_str(), attributes.get(), request.attributesOnly ? 1 : 0,
                        nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &raw);
  MessagePtr result(raw);
  if (!result) return NormalizeLdapCode(rc == LDAP_SUCCESS ? LDAP_OTHER : rc);
  TakeEntries(result.get(), request.attributesOnly, entries);
  return NormalizeLdapCode(rc);
}

int OpenLdapConnection::StartSearch(const LdapSearchRequest& request, int* id) {
  AttributeList attributes(request);
  const int rc =
      ldap_search_ext(session_.get(), request.base.c_str(), static_cast<int>(request.scope),
                      request.filter.c_str(), attributes.get(), request.attributesOnly ? 1 : 0,
                      nullptr, nullptr, nullptr, LDAP_NO_LIMIT, id);
  if (rc == LDAP_SUCCESS) attributesOnly_[*id] = request.attributesOnly;
  return NormalizeLdapCode(rc);
}

void OpenLdapConnection::SetAnswerTimeout(int seconds) {
  answerTimeout_ = seconds;
  // The library's own waits (connecting, binding) take at least a second.
  timeval timeout{std::max(seconds, 1), 0};
  ldap_set_option(session_.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(session_.get(), LDAP_OPT_TIMEOUT, &timeout);
}

int OpenLdapConnection::WaitFor(int id, MessagePtr* result) {
  // Waited for in slices, so that a run asked to stop waits kStopWaitMs at
  // most from then on, even for an answer it was already waiting for.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point deadline = start + std::chrono::seconds(answerTimeout_);
  bool stopSeen = false;
  LDAPMessage* raw = nullptr;
  int got = 0;
  for (;;) {
    if (!stopSeen && StopSignalSeen() != 0) {
      stopSeen = true;
      deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(kStopWaitMs));
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    const long long slice = std::clamp<long long>(left, 0, 1000000);
    timeval timeout{static_cast<time_t>(slice / 1000000),
                    static_cast<suseconds_t>(slice % 1000000)};
    got = ldap_result(session_.get(), id, LDAP_MSG_ALL, &timeout, &raw);
    if (got != 0 || left <= 1000000) break;
  }
  result->reset(raw);
  if (got == 0) {
    ldap_abandon_ext(session_.get(), id, nullptr, nullptr);
    return NormalizeLdapCode(LDAP_TIMEOUT);
  }
  if (got < 0 || !*result) {
    int code = LDAP_SERVER_DOWN;
    ldap_get_option(session_.get(), LDAP_OPT_RESULT_CODE, &code);
    return NormalizeLdapCode(code == LDAP_SUCCESS ? LDAP_SERVER_DOWN : code);
  }
  int code = LDAP_OTHER;
  const int parsed = ldap_parse_result(session_.get(), result->get(), &code, nullptr, nullptr,
                                       nullptr, nullptr, 0);
  return NormalizeLdapCode(parsed == LDAP_SUCCESS ? code : parsed);
}

int OpenLdapConnection::FinishSearch(int id, std::vector<LdapEntry>* entries) {
  const bool attributesOnly = attributesOnly_[id];
  attributesOnly_.erase(id);
  MessagePtr result;
  const int rc = WaitFor(id, &result);
  if (result) TakeEntries(result.get(), attributesOnly, entries);
  return rc;
}

namespace {

// The C form of a modification list; it points into `mods`, which must
// outlive it.
struct ModificationTable {
  explicit ModificationTable(const std::vector<LdapModification>& mods)
      : records(mods.size()), values(mods.size()), valuePointers(mods.size()) {
    for (size_t i = 0; i < mods.size(); ++i) {
      const LdapModification& mod = mods[i];
      LDAPMod& record = records[i];
      record.mod_op = (mod.op == LdapModification::Op::kDelete ? LDAP_MOD_DELETE
                       : mod.op == LdapModification::Op::kAdd  ? LDAP_MOD_ADD
                                                               : LDAP_MOD_REPLACE) |
                      LDAP_MOD_BVALUES;
      record.mod_type = const_cast<char*>(mod.type.c_str());
      record.mod_bvalues = nullptr;
      if (!mod.values.empty()) {
        for (const std::string& value : mod.values)
          values[i].push_back(berval{value.size(), const_cast<char*>(value.data())});
        for (berval& value : values[i]) valuePointers[i].push_back(&value);
        valuePointers[i].push_back(nullptr);
        record.mod_bvalues = valuePointers[i].data();
      }
      table.push_back(&record);
    }
    table.push_back(nullptr);
  }
  std::vector<LDAPMod> records;
  std::vector<std::vector<berval>> values;
  std::vector<std::vector<berval*>> valuePointers;
  std::vector<LDAPMod*> table;
};

}  // namespace

int OpenLdapConnection::Modify(const std::string& dn, const std::vector<LdapModification>& mods) {
  ModificationTable table(mods);
  int rc = ldap_modify_ext_s(session_.get(), dn.c_str(), table.table.data(), nullptr, nullptr);
  return NormalizeLdapCode(rc);
}

int OpenLdapConnection::StartModify(const std::string& dn,
                                    const std::vector<LdapModification>& mods, int* id) {
  ModificationTable table(mods);  // encoded into the request as it is sent
  return NormalizeLdapCode(
      ldap_modify_ext(session_.get(), dn.c_str(), table.table.data(), nullptr, nullptr, id));
}

int OpenLdapConnection::FinishModify(int id) {
  MessagePtr result;
  return WaitFor(id, &result);
}

std::optional<std::string> OpenLdapConnection::DiagnosticMessage() {
  char* raw = nullptr;
  if (ldap_get_option(session_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE, &raw) != LDAP_OPT_SUCCESS ||
      raw == nullptr)
    return std::nullopt;
  LdapTextPtr text(raw);
  return std::string(text.get());
}

std::unique_ptr<LdapConnection> OpenLdapConnector::Open(const ServerAddress* server,
                                                        int* systemError) {
  const std::string uri = server != nullptr ? server->Url() : "";
  bool tls = server != nullptr && server->tls;
  LDAP* raw = nullptr;
  int rc = ldap_initialize(&raw, server != nullptr ? uri.c_str() : nullptr);
  LdapSessionPtr session(raw);
  if (rc != LDAP_SUCCESS || !session) {
    *systemError = NormalizeLdapCode(rc == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : rc);
    return nullptr;
  }
  // A server that never answers must not hang the run forever: neither the
  // connection nor any one answer (bind, search, modify) may take longer.
  timeval timeout{OpenLdapConnection::kAnswerTimeoutSeconds, 0};
  ldap_set_option(session.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(session.get(), LDAP_OPT_TIMEOUT, &timeout);
  // A signal that asks the run to stop interrupts a wait, which goes on.
  ldap_set_option(session.get(), LDAP_OPT_RESTART, LDAP_OPT_ON);
  // The library's default server may be an ldaps:// one as well.
  if (server == nullptr) {
    char* defaultUri = nullptr;
    if (ldap_get_option(session.get(), LDAP_OPT_URI, &defaultUri) == LDAP_OPT_SUCCESS &&
        defaultUri != nullptr) {
      tls = AllLdaps(defaultUri);
      ldap_memfree(defaultUri);
    }
  }
  if (!explicitMinSsf_) explicitMinSsf_ = ExplicitMinSsf(ProcessLdapSettings());
  return std::make_unique<OpenLdapConnection>(std::move(session), tls, *explicitMinSsf_);
}

}  // namespace varnel
