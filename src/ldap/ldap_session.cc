#include "ldap/ldap_session.h"

#include <cstdlib>
#include <vector>

#include "diag/reporter.h"
#include "ldap/kerberos_ticket.h"
#include "ldap/ldap_error.h"
#include "ldap/result_codes.h"
#include "ldap/sealed_bind.h"
#include "ldap/server_address.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

struct OptionStep {
  LdapOption option;
  int value;
  const char* trace;
  const char* label;
};

}  // namespace

std::string DisplayServerText(const std::optional<std::string>& server) {
  if (!server) return "";
  const std::optional<ServerAddress> address = ParseServerAddress(*server);
  if (!address) return *server;
  // A host written as a leading "." has always meant this machine.
  if (!address->host.empty() && address->host[0] == '.') return "localhost";
  return address->host;
}

std::unique_ptr<LdapConnection> OpenLDAP(Reporter& reporter, LdapConnector& connector,
                                         OpenLdapParams params) {
  const std::string display = DisplayServerText(params.server);
  std::optional<ServerAddress> address;
  if (params.server) address = ParseServerAddress(*params.server);
  const int port = address ? address->port : 389;
  if (params.anonymous) params.simple = true;

  if (reporter.debug()) {
    reporter.out() << "DEBUG: In OpenLDAP... Params:" << EndLine;
    if (params.server) reporter.out() << "DEBUG:    Server:    " << *params.server << EndLine;
    reporter.out() << "DEBUG:    Port:        " << port << EndLine;
    reporter.out() << "DEBUG:    Ref:       " << params.ref << EndLine;
    reporter.out() << "DEBUG:    V3:        " << params.v3 << EndLine;
    reporter.out() << "DEBUG:    Anonymous: " << params.anonymous << EndLine;
    reporter.out() << "DEBUG:    userdn: " << params.userdn << EndLine;
    reporter.out() << "DEBUG:    password: " << params.password << EndLine;
    reporter.out() << "DEBUG:    Simple: " << params.simple << EndLine;
    reporter.out() << "DEBUG:    LDAP_OPT_ENCRYPT: " << params.encrypt << EndLine;
    reporter.out() << "DEBUG:    Extended Error Info: " << params.extendedErrorInfo << EndLine;
  }

  int systemError = 0;
  std::unique_ptr<LdapConnection> session;
  if (params.server && !address)
    systemError = kLdapParamError;
  else
    session = connector.Open(address ? &*address : nullptr, &systemError);
  if (!session) {
    LdapReportError(reporter, "LDAP_INIT", display, systemError, nullptr);
    return nullptr;
  }
  if (params.answerTimeoutSeconds) session->SetAnswerTimeout(*params.answerTimeoutSeconds);

  std::vector<OptionStep> steps;
  if (params.v3)
    steps.push_back(
        {LdapOption::kVersion, 3, "LDAP_OPTION: Version 3", "LDAP_OPTION (Version3): "});
  if (!params.ref)
    steps.push_back(
        {LdapOption::kReferrals, 0, "LDAP_OPTION: No referrals", "LDAP_OPTION (NoReferrals): "});
  if (params.encrypt)
    steps.push_back({LdapOption::kEncrypt, 1, "LDAP_OPTION: Kerberos Encryption",
                     "LDAP_OPTION (Kerberos Encryption): "});
  for (const OptionStep& step : steps) {
    if (reporter.debug()) reporter.err() << step.trace << EndLine;
    int rc = session->SetOption(step.option, step.value);
    if (rc != 0) LdapReportError(reporter, step.label, display, rc, nullptr);
  }

  int rc = 0;
  SealedBindResult sealed;
  if (params.simple && params.anonymous) {
    rc = session->SimpleBind(nullptr, nullptr);
  } else if (params.simple) {
    rc = session->SimpleBind(&params.userdn, &params.password);
  } else if (!params.userdn.empty()) {
    if (LowerCase(params.userdn).find("cn=") != std::string::npos) {
      reporter.out() << "ERROR: DN format not currently supported for secure bind.\n" << EndLine;
      return nullptr;
    }
    NegotiateIdentity identity;
    identity.password = params.password;
    if (params.userdn.find('\\') == std::string::npos) {
      identity.user = params.userdn;
    } else {
      std::vector<std::string> pieces;
      Split(params.userdn, "\\", &pieces);
      identity.domain = pieces.empty() ? "" : pieces[0];
      identity.user = pieces.size() > 1 ? pieces[1] : "";
    }
    sealed = NegotiateBindSealed(*session, &identity);
    rc = sealed.code;
  } else {
    sealed = NegotiateBindSealed(*session, nullptr);
    rc = sealed.code;
  }

  if (rc == 0) {
    if (reporter.debug()) {
      reporter.err() << "LDAP_BIND: [" << (params.server ? params.server->c_str() : "(null)")
                     << "] Successful" << EndLine;
      if (!params.simple) {
        reporter.out() << "DEBUG: SASL SSF: " << sealed.saslSsf << EndLine;
        reporter.out() << "DEBUG: TLS: " << (sealed.protection == SessionProtection::kTls)
                       << EndLine;
      }
    }
    if (sealed.protection == SessionProtection::kUnsealed)
      reporter.err() << "WARNING: LDAP_BIND: [" << display << "] " << UnsealedWarning(sealed)
                     << EndLine;
    return session;
  }
  if (!sealed.refusal.empty()) {
    reporter.err() << "ERROR: LDAP_BIND: [" << display << "] " << sealed.refusal << EndLine;
    return nullptr;
  }
  LdapReportError(reporter, "LDAP_BIND", display, rc,
                  params.extendedErrorInfo ? session.get() : nullptr);
  if (session->TlsSetupFailed()) {
    reporter.err() << "ERROR: TLS: [" << display << "] The server was reached but TLS failed: its "
                   << "certificate was not accepted (it must come from a CA of TLS_CACERT or "
                   << "TLS_CACERTDIR in ldap.conf or LDAPTLS_CACERT, and name the host as "
                   << "written) or the TLS handshake failed." << EndLine;
  }
  if (!params.simple && BindFailureMayBeCredentials(rc)) {
    // The SASL and Kerberos libraries say why in the session's diagnostic
    // text; the result code alone is a bare "Local error". The text may come
    // from the server: it is shown as one line, control characters blanked.
    std::string reason = session->DiagnosticMessage().value_or("");
    for (char& c : reason)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    if (!reason.empty() && !params.extendedErrorInfo)
      reporter.err() << "ERROR: LDAP_BIND: [" << display << "] Reason: " << reason << EndLine;
    if (std::optional<std::string> cache = session->MissingTicketCache())
      reporter.err() << MissingTicketLine(*cache) << EndLine;
    if (std::optional<std::string> advice = KerberosAdviceLine(reason, display))
      reporter.err() << *advice << EndLine;
  }
  return nullptr;
}

}  // namespace varnel
