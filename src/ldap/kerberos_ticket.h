// Whether the user running the tool holds a Kerberos ticket the negotiate
// bind can use: read from the default credential cache through libkrb5, so
// that a failed bind can say why in words an administrator acts on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// The name of the default credential cache (as "TYPE:residual") when it holds
// no ticket-granting ticket that is still valid: no cache, an empty cache or
// only expired tickets. nullopt when a valid ticket is there, or when the
// Kerberos library itself cannot be used (then the bind's own error stands).
std::optional<std::string> MissingKerberosTicket();

// The domain a run works in when no server is named: the realm of the
// default credential cache's principal, else the default realm of the
// Kerberos settings; lowercased, as DNS writes it. nullopt when neither is
// there.
std::optional<std::string> KerberosDomain();

// Whether a negotiate bind that failed with `code` (the tool's numbering)
// may have failed for want of credentials: the server refused them, or the
// client's SASL step could not make any. A server that cannot be reached, or
// a TLS failure, is never the ticket's fault.
bool BindFailureMayBeCredentials(int code);

// The line printed after a negotiate bind failed for want of a ticket.
std::string MissingTicketLine(const std::string& cacheName);

// What to do about a negotiate bind that failed, read from the diagnostic
// text the SASL and Kerberos libraries left behind: one line for a server
// name Kerberos holds no principal for, or for clocks too far apart; nullopt
// for any other text. `server` is the server as the error lines show it
// ("" for the library's default server).
std::optional<std::string> KerberosAdviceLine(std::string_view diagnostic, std::string_view server);

}  // namespace varnel
