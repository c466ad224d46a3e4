#include "ldap/ldap_session.h"

#include <optional>
#include <string>

#include "diag/reporter.h"
#include "ldap/kerberos_ticket.h"
#include "ldap/ldap_error.h"
#include "ldap/result_codes.h"
#include "ldap/root_dse.h"
#include "ldap/sealed_bind.h"
#include "ldap/server_address.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

// The -d dump of the session's parameters. A run always opens its session
// the same way, so all but the server are the same in every run.
void TraceParams(Reporter& reporter, const OpenLdapParams& params, int port) {
  reporter.out() << "DEBUG: In OpenLDAP... Params:" << EndLine;
  if (params.server) reporter.out() << "DEBUG:    Server:    " << *params.server << EndLine;
  reporter.out() << "DEBUG:    Port:        " << port << EndLine;
  reporter.out() << "DEBUG:    Ref:       1" << EndLine;
  reporter.out() << "DEBUG:    V3:        1" << EndLine;
  reporter.out() << "DEBUG:    Anonymous: 0" << EndLine;
  reporter.out() << "DEBUG:    userdn: " << EndLine;
  reporter.out() << "DEBUG:    password: " << EndLine;
  reporter.out() << "DEBUG:    Simple: 0" << EndLine;
  reporter.out() << "DEBUG:    LDAP_OPT_ENCRYPT: 0" << EndLine;
  reporter.out() << "DEBUG:    Extended Error Info: " << params.extendedErrorInfo << EndLine;
}

// Asks for protocol version 3; a refusal is reported and the bind goes on.
void SetVersion3(Reporter& reporter, LdapConnection& session, const std::string& display) {
  if (reporter.debug()) reporter.err() << "LDAP_OPTION: Version 3" << EndLine;
  const int rc = session.SetOption(LdapOption::kVersion, 3);
  if (rc != 0) LdapReportError(reporter, "LDAP_OPTION (Version3): ", display, rc, nullptr);
}

// The lines of a successful bind.
void ReportBound(Reporter& reporter, const OpenLdapParams& params, const std::string& display,
                 const SealedBindResult& sealed) {
  if (reporter.debug()) {
    reporter.err() << "LDAP_BIND: [" << (params.server ? params.server->c_str() : "(null)")
                   << "] Successful" << EndLine;
    reporter.out() << "DEBUG: SASL SSF: " << sealed.saslSsf << EndLine;
    reporter.out() << "DEBUG: TLS: " << (sealed.protection == SessionProtection::kTls) << EndLine;
  }
  if (sealed.protection == SessionProtection::kUnsealed)
    reporter.err() << "WARNING: LDAP_BIND: [" << display << "] " << UnsealedWarning(sealed)
                   << EndLine;
}

// After a failed bind that may be down to the credentials: why, as the SASL
// and Kerberos libraries say in the session's diagnostic text (the result
// code alone is a bare "Local error"), then what to do about it.
void ReportCredentialFailure(Reporter& reporter, LdapConnection& session,
                             const OpenLdapParams& params, const std::string& display) {
  // The text may come from the server: it is shown as one line, control
  // characters blanked.
  const std::string reason = OneLine(session.DiagnosticMessage().value_or(""));
  if (!reason.empty() && !params.extendedErrorInfo)
    reporter.err() << "ERROR: LDAP_BIND: [" << display << "] Reason: " << reason << EndLine;
  if (std::optional<std::string> cache = session.MissingTicketCache())
    reporter.err() << MissingTicketLine(*cache) << EndLine;
  if (std::optional<std::string> advice = KerberosAdviceLine(reason, display))
    reporter.err() << *advice << EndLine;
}

// The lines of a failed or refused bind.
void ReportBindFailure(Reporter& reporter, LdapConnection& session, const OpenLdapParams& params,
                       const std::string& display, const SealedBindResult& sealed) {
  if (!sealed.refusal.empty()) {
    reporter.err() << "ERROR: LDAP_BIND: [" << display << "] " << sealed.refusal << EndLine;
    return;
  }
  LdapReportError(reporter, "LDAP_BIND", display, sealed.code,
                  params.extendedErrorInfo ? &session : nullptr);
  if (session.TlsSetupFailed()) {
    reporter.err() << "ERROR: TLS: [" << display << "] The server was reached but TLS failed: its "
                   << "certificate was not accepted (it must come from a CA of TLS_CACERT or "
                   << "TLS_CACERTDIR in ldap.conf or LDAPTLS_CACERT, and name the host as "
                   << "written) or the TLS handshake failed." << EndLine;
  }
  if (BindFailureMayBeCredentials(sealed.code))
    ReportCredentialFailure(reporter, session, params, display);
}

// Sets the session up and binds it, the root DSE's search sent with the
// bind when asked.
SealedBindResult Bind(Reporter& reporter, LdapConnection& session, const OpenLdapParams& params,
                      const std::string& display, bool rootDseWithBind) {
  if (params.answerTimeoutSeconds) session.SetAnswerTimeout(*params.answerTimeoutSeconds);
  SetVersion3(reporter, session, display);
  if (rootDseWithBind) session.SendWithBind(RootDseRequest());
  return NegotiateBindSealed(session);
}

// A server should answer or abandon what is outstanding before it takes a
// bind (RFC 4511, 4.2.1); one that refuses the bind instead, as busy,
// unwilling or out of order, is asked again with the bind alone.
bool MayBeRefusedForTheSearch(int code) {
  return code == kLdapOperationsError || code == kLdapProtocolError || code == kLdapBusy ||
         code == kLdapUnwillingToPerform;
}

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
  if (reporter.debug()) TraceParams(reporter, params, address ? address->port : 389);

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
  SealedBindResult sealed = Bind(reporter, *session, params, display, params.rootDseWithBind);
  if (params.rootDseWithBind && MayBeRefusedForTheSearch(sealed.code)) {
    // The bind alone, on a connection of its own.
    int ignored = 0;
    if (std::unique_ptr<LdapConnection> again =
            connector.Open(address ? &*address : nullptr, &ignored)) {
      session = std::move(again);
      sealed = Bind(reporter, *session, params, display, false);
    }
  }
  if (sealed.code != 0) {
    ReportBindFailure(reporter, *session, params, display, sealed);
    return nullptr;
  }
  ReportBound(reporter, params, display, sealed);
  return session;
}

}  // namespace varnel
