#include "ldap/kerberos_ticket.h"

#include <krb5.h>

#include <ctime>
#include <memory>

#include "ldap/result_codes.h"
#include "text/string_helpers.h"

namespace varnel {
namespace {

struct ContextDeleter {
  void operator()(krb5_context context) const { krb5_free_context(context); }
};
using ContextPtr = std::unique_ptr<std::remove_pointer_t<krb5_context>, ContextDeleter>;

// A cache handle bound to the context that opened it.
class CacheHandle {
 public:
  CacheHandle(krb5_context context, krb5_ccache cache) : context_(context), cache_(cache) {}
  ~CacheHandle() { krb5_cc_close(context_, cache_); }
  CacheHandle(const CacheHandle&) = delete;
  CacheHandle& operator=(const CacheHandle&) = delete;
  krb5_ccache get() const { return cache_; }

 private:
  krb5_context context_;
  krb5_ccache cache_;
};

// Whether the cache holds a ticket-granting ticket that has not expired.
bool HoldsValidTicket(krb5_context context, krb5_ccache cache) {
  krb5_principal principal = nullptr;
  if (krb5_cc_get_principal(context, cache, &principal) != 0) return false;  // none or empty
  krb5_free_principal(context, principal);

  krb5_cc_cursor cursor = nullptr;
  if (krb5_cc_start_seq_get(context, cache, &cursor) != 0) return false;
  const krb5_timestamp now = static_cast<krb5_timestamp>(std::time(nullptr));
  bool valid = false;
  krb5_creds creds;
  while (!valid && krb5_cc_next_cred(context, cache, &cursor, &creds) == 0) {
    const bool tgt =
        krb5_princ_size(context, creds.server) == 2 &&
        krb5_princ_component(context, creds.server, 0)->length == 6 &&
        std::string_view(krb5_princ_component(context, creds.server, 0)->data, 6) == "krbtgt";
    valid = tgt && creds.times.endtime > now;
    krb5_free_cred_contents(context, &creds);
  }
  krb5_cc_end_seq_get(context, cache, &cursor);
  return valid;
}

}  // namespace

std::optional<std::string> MissingKerberosTicket() {
  krb5_context raw = nullptr;
  if (krb5_init_context(&raw) != 0) return std::nullopt;
  ContextPtr context(raw);
  krb5_ccache rawCache = nullptr;
  if (krb5_cc_default(context.get(), &rawCache) != 0) return std::nullopt;
  CacheHandle cache(context.get(), rawCache);
  if (HoldsValidTicket(context.get(), cache.get())) return std::nullopt;
  std::string name = krb5_cc_get_type(context.get(), cache.get());
  name += ":";
  name += krb5_cc_get_name(context.get(), cache.get());
  return name;
}

std::optional<std::string> KerberosDomain() {
  krb5_context raw = nullptr;
  if (krb5_init_context(&raw) != 0) return std::nullopt;
  ContextPtr context(raw);
  std::string realm;
  krb5_ccache rawCache = nullptr;
  if (krb5_cc_default(context.get(), &rawCache) == 0) {
    CacheHandle cache(context.get(), rawCache);
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context.get(), cache.get(), &principal) == 0) {
      realm.assign(principal->realm.data, principal->realm.length);
      krb5_free_principal(context.get(), principal);
    }
  }
  if (realm.empty()) {
    char* defaultRealm = nullptr;
    if (krb5_get_default_realm(context.get(), &defaultRealm) == 0) {
      realm = defaultRealm;
      krb5_free_default_realm(context.get(), defaultRealm);
    }
  }
  if (realm.empty()) return std::nullopt;
  return LowerCase(realm);
}

bool BindFailureMayBeCredentials(int code) {
  // A missing ticket fails inside the client's GSS-API step, before the
  // server hears of it: libldap reports that as a local error, or as an
  // unknown method when no mechanism could start.
  return code == kLdapInappropriateAuth || code == kLdapInvalidCredentials ||
         code == kLdapLocalError || code == kLdapAuthUnknown;
}

std::string MissingTicketLine(const std::string& cacheName) {
  return "ERROR: No valid Kerberos ticket was found in the credential cache " + cacheName +
         "; run kinit to get one.";
}

std::optional<std::string> KerberosAdviceLine(std::string_view diagnostic,
                                              std::string_view server) {
  const std::string text = LowerCase(diagnostic);
  // MIT Kerberos words the unknown principal as below; Heimdal as "Server
  // (ldap/host@REALM) unknown".
  if (text.find("server not found in kerberos database") != std::string::npos ||
      (text.find("server (") != std::string::npos && text.find(") unknown") != std::string::npos)) {
    std::string line = "ERROR: Kerberos does not know the server by the name it was reached under";
    if (!server.empty()) line += " (" + std::string(server) + ")";
    return line +
           ": give -h the domain controller's full DNS name, or change LDAPSASL_NOCANON (on: the "
           "name is used as written; off: the name DNS gives for its address).";
  }
  if (text.find("clock skew too great") != std::string::npos) {
    return "ERROR: The clocks of this machine and the domain controller differ by more than "
           "Kerberos allows (5 minutes by default): set this machine's clock right, then run kinit "
           "again.";
  }
  return std::nullopt;
}

}  // namespace varnel
