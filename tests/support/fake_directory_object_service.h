// A scriptable DirectoryObjectService for unit tests of the actions: each
// operation returns the code set for it and every call is recorded as a line
// naming the operation, the kind of reference it was given and its argument,
// so tests can check order, arguments and that every reference was released.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "exchange/directory_object_service.h"

namespace varnel::testing {

class FakeDirectoryObjectService : public DirectoryObjectService {
 public:
  // Codes the operations return.
  HResult bindResult = 0;
  HResult queryResult = 0;  // both queries
  HResult createResult = 0;
  HResult moveResult = 0;
  HResult mailEnableResult = 0;
  HResult saveResult = 0;
  HResult getClassResult = 0;
  HResult takeChangesResult = 0;
  // The class GetClass hands back (also when it fails).
  std::u16string className = u"user";
  // What TakeChanges hands over, for the DN of the last Bind.
  std::vector<LdapModification> changes = {{LdapModification::Op::kReplace, "homeMDB", {"staged"}}};

  // "Bind <path>", "QueryMailboxStore object", "CreateMailbox mailboxStore
  // <mdb>", "MoveMailbox mailboxStore <mdb>", "MailEnable mailRecipient
  // <target>", "Save object", "TakeChanges object", "GetClass object",
  // "Release <kind>"; texts in
  // UTF-8, an unknown reference shows as "unknown".
  std::vector<std::string> calls;

  // References handed out and not yet released.
  size_t Outstanding() const { return live_.size(); }

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

 private:
  std::string KindOf(const DirectoryObjectRef& ref) const;
  DirectoryObjectRef HandOut(const std::string& kind);

  std::map<uint64_t, std::string> live_;  // handle -> kind
  std::string boundDn_;
  uint64_t next_ = 1;
};

}  // namespace varnel::testing
