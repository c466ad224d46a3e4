#include "support/fake_directory_object_service.h"

#include "exchange/ads_path.h"
#include "platform/code_page.h"

namespace varnel::testing {

std::string FakeDirectoryObjectService::KindOf(const DirectoryObjectRef& ref) const {
  auto found = ref.IsBound() ? live_.find(ref.handle()) : live_.end();
  return found == live_.end() ? "unknown" : found->second;
}

DirectoryObjectRef FakeDirectoryObjectService::HandOut(const std::string& kind) {
  const uint64_t handle = next_++;
  live_[handle] = kind;
  return DirectoryObjectRef(this, handle);
}

HResult FakeDirectoryObjectService::Bind(std::u16string_view adsPath, DirectoryObjectRef* object) {
  calls.push_back("Bind " + WideToNarrow(adsPath));
  AdsPath path;
  if (ParseAdsPath(adsPath, &path) == kSOk) boundDn_ = path.dn;
  if (bindResult == 0) *object = HandOut("object");
  return bindResult;
}

HResult FakeDirectoryObjectService::QueryMailboxStore(const DirectoryObjectRef& object,
                                                      DirectoryObjectRef* mailboxStore) {
  calls.push_back("QueryMailboxStore " + KindOf(object));
  if (queryResult == 0) *mailboxStore = HandOut("mailboxStore");
  return queryResult;
}

HResult FakeDirectoryObjectService::QueryMailRecipient(const DirectoryObjectRef& object,
                                                       DirectoryObjectRef* mailRecipient) {
  calls.push_back("QueryMailRecipient " + KindOf(object));
  if (queryResult == 0) *mailRecipient = HandOut("mailRecipient");
  return queryResult;
}

HResult FakeDirectoryObjectService::CreateMailbox(const DirectoryObjectRef& mailboxStore,
                                                  std::u16string_view homeMdb) {
  calls.push_back("CreateMailbox " + KindOf(mailboxStore) + " " + WideToNarrow(homeMdb));
  return createResult;
}

HResult FakeDirectoryObjectService::MoveMailbox(const DirectoryObjectRef& mailboxStore,
                                                std::u16string_view homeMdb) {
  calls.push_back("MoveMailbox " + KindOf(mailboxStore) + " " + WideToNarrow(homeMdb));
  return moveResult;
}

HResult FakeDirectoryObjectService::MailEnable(const DirectoryObjectRef& mailRecipient,
                                               std::u16string_view targetAddress) {
  calls.push_back("MailEnable " + KindOf(mailRecipient) + " " + WideToNarrow(targetAddress));
  return mailEnableResult;
}

HResult FakeDirectoryObjectService::Save(const DirectoryObjectRef& object) {
  calls.push_back("Save " + KindOf(object));
  return saveResult;
}

HResult FakeDirectoryObjectService::TakeChanges(const DirectoryObjectRef& object, std::string* dn,
                                                std::vector<LdapModification>* mods) {
  calls.push_back("TakeChanges " + KindOf(object));
  if (takeChangesResult != kSOk) return takeChangesResult;
  *dn = boundDn_;
  *mods = changes;
  return kSOk;
}

HResult FakeDirectoryObjectService::GetClass(const DirectoryObjectRef& object,
                                             std::u16string* className) {
  calls.push_back("GetClass " + KindOf(object));
  *className = this->className;
  return getClassResult;
}

void FakeDirectoryObjectService::Release(uint64_t handle) {
  auto found = live_.find(handle);
  calls.push_back("Release " + (found == live_.end() ? std::string("unknown") : found->second));
  if (found != live_.end()) live_.erase(found);
}

}  // namespace varnel::testing
