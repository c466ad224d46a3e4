// The directory object service carried out over LDAP: it binds to objects by
// ADsPath and writes, in one modify request per save, the attributes that the
// Exchange management interfaces write when they create or move a mailbox or
// mail-enable a recipient. It never prints; callers report its codes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exchange/directory_object_service.h"
#include "exchange/mail_database.h"
#include "ldap/ldap_connection.h"

namespace varnel {

class LdapDirectoryObjectService : public DirectoryObjectService {
 public:
  // Fills its argument with random bytes; false when it cannot.
  using RandomSource = std::function<bool(std::span<uint8_t>)>;

  // Sessions are opened through `connector`, one per server text (none: the
  // library's default server), each bound once with the negotiate bind of
  // the user running the tool and kept for the rest of the run, unless the
  // run shares its own session for that server; a session
  // that fails at the connection level is dropped, so that a later Bind opens
  // a new one. Mailbox GUIDs come from `random` (the system's source unless
  // given). References must not outlive the service.
  explicit LdapDirectoryObjectService(LdapConnector& connector, RandomSource random = {});
  ~LdapDirectoryObjectService() override;

  HResult Bind(std::u16string_view adsPath, DirectoryObjectRef* object) override;
  HResult QueryMailboxStore(const DirectoryObjectRef& object,
                            DirectoryObjectRef* mailboxStore) override;
  HResult QueryMailRecipient(const DirectoryObjectRef& object,
                             DirectoryObjectRef* mailRecipient) override;
  HResult CreateMailbox(const DirectoryObjectRef& mailboxStore,
                        std::u16string_view homeMdb) override;
  HResult MoveMailbox(const DirectoryObjectRef& mailboxStore, std::u16string_view homeMdb) override;
  HResult MailEnable(const DirectoryObjectRef& mailRecipient,
                     std::u16string_view targetAddress) override;
  HResult Save(const DirectoryObjectRef& object) override;
  HResult TakeChanges(const DirectoryObjectRef& object, std::string* dn,
                      std::vector<LdapModification>* mods) override;
  HResult GetClass(const DirectoryObjectRef& object, std::u16string* className) override;
  void Release(uint64_t handle) override;
  void ShareSession(const std::optional<std::string>& server, LdapConnection& session) override;

  // Number of sessions currently kept open.
  size_t OpenSessionCount() const { return sessions_.size(); }

 private:
  struct Session;
  struct BoundObject;
  enum class Interface { kObject, kMailboxStore, kMailRecipient };
  struct HandleEntry {
    std::shared_ptr<BoundObject> object;
    Interface kind;
  };

  HResult OpenSession(const std::optional<std::string>& server, std::shared_ptr<Session>* session);
  int Search(Session& session, const LdapSearchRequest& request, std::vector<LdapEntry>* entries);
  HResult ReadEntry(Session& session, const std::string& dn,
                    const std::vector<std::string>& attributes, LdapEntry* entry);
  HResult AdminGroupLegacyDnAbove(Session& session, const std::string& serverDn,
                                  std::string* legacyDn);
  HResult FirstAdminGroupLegacyDn(Session& session, std::string* legacyDn);
  void StageMailboxHome(BoundObject& object, const MailDatabaseHome& home, bool moving);
  HResult ResolveMailDatabase(Session& session, const std::string& mdbDn, MailDatabaseHome* home);
  void DropIfBroken(Session& session, HResult hr);

  HResult Lookup(const DirectoryObjectRef& ref, HandleEntry** entry);
  // The object behind a reference of the given kind; kENoInterface otherwise.
  HResult LookupInterface(const DirectoryObjectRef& ref, Interface kind, BoundObject** object);
  HResult QueryInterface(const DirectoryObjectRef& object, Interface kind,
                         DirectoryObjectRef* result);
  DirectoryObjectRef AddHandle(std::shared_ptr<BoundObject> object, Interface kind);

  LdapConnector& connector_;
  RandomSource random_;
  std::map<std::string, std::shared_ptr<Session>> sessions_;  // by folded server text
  std::map<uint64_t, HandleEntry> handles_;
  uint64_t nextHandle_ = 1;
};

}  // namespace varnel
