// The directory object service: binding to a directory object by its ADsPath
// and the Exchange management operations on it (create or move a mailbox,
// mail-enable), saved with one write. Every operation returns a result code,
// 0 for success; texts handed in are wide (UTF-16).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/hresult.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class DirectoryObjectService;

// A reference to a bound object or to one of its queried interfaces. It is
// released with the service's Release when it is reset or destroyed; it can be
// moved, never copied.
class DirectoryObjectRef {
 public:
  DirectoryObjectRef() = default;
  DirectoryObjectRef(DirectoryObjectService* service, uint64_t handle)
      : service_(service), handle_(handle) {}
  DirectoryObjectRef(DirectoryObjectRef&& other) noexcept;
  DirectoryObjectRef& operator=(DirectoryObjectRef&& other) noexcept;
  DirectoryObjectRef(const DirectoryObjectRef&) = delete;
  DirectoryObjectRef& operator=(const DirectoryObjectRef&) = delete;
  ~DirectoryObjectRef() { Reset(); }

  // Releases the reference now; afterwards it refers to nothing.
  void Reset();

  bool IsBound() const { return service_ != nullptr; }
  uint64_t handle() const { return handle_; }

 private:
  DirectoryObjectService* service_ = nullptr;
  uint64_t handle_ = 0;
};

class DirectoryObjectService {
 public:
  virtual ~DirectoryObjectService() = default;

  // Binds to the object that `adsPath` ("LDAP://" [server "/"] DN) names and
  // sets *object to it. On failure *object stays unbound.
  virtual HResult Bind(std::u16string_view adsPath, DirectoryObjectRef* object) = 0;

  // The mailbox interface of a bound object; fails for an object that cannot
  // hold a mailbox.
  virtual HResult QueryMailboxStore(const DirectoryObjectRef& object,
                                    DirectoryObjectRef* mailboxStore) = 0;
  // The mail recipient interface of a bound object.
  virtual HResult QueryMailRecipient(const DirectoryObjectRef& object,
                                     DirectoryObjectRef* mailRecipient) = 0;

  // Mailbox interface methods, given a mail database DN (no "LDAP://").
  virtual HResult CreateMailbox(const DirectoryObjectRef& mailboxStore,
                                std::u16string_view homeMdb) = 0;
  virtual HResult MoveMailbox(const DirectoryObjectRef& mailboxStore,
                              std::u16string_view homeMdb) = 0;
  // Mail recipient interface method, given the target address (possibly
  // empty, with its address type such as "SMTP:").
  virtual HResult MailEnable(const DirectoryObjectRef& mailRecipient,
                             std::u16string_view targetAddress) = 0;

  // Writes the object's pending changes.
  virtual HResult Save(const DirectoryObjectRef& object) = 0;
  // Hands the object's pending changes over instead of writing them: its DN
  // as the directory stores it and the modifications Save would send. The
  // caller sends them, with its own, in one request; nothing stays pending.
  virtual HResult TakeChanges(const DirectoryObjectRef& object, std::string* dn,
                              std::vector<LdapModification>* mods) = 0;
  // The object's class name ("user", "group", "contact", ...).
  virtual HResult GetClass(const DirectoryObjectRef& object, std::u16string* className) = 0;

  // Drops one reference handed out by Bind or a query. Unknown handles are
  // ignored.
  virtual void Release(uint64_t handle) = 0;

  // Offers the run's own bound session for objects on `server` (none: the
  // library's default server), so that no second session is opened for it.
  // The session must outlive the service's use of it.
  virtual void ShareSession(const std::optional<std::string>& server, LdapConnection& session) {
    (void)server;
    (void)session;
  }
};

}  // namespace varnel
