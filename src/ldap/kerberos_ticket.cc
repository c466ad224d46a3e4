#include "ldap/kerberos_ticket.h"

#include <krb5.h>

#include <ctime>
#include <memory>

#include "ldap/result_codes.h"

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

}  // namespace varnel
