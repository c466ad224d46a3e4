#include "exchange/ldap_directory_object_service.h"

#include <algorithm>
#include <array>
#include <utility>

#include "exchange/ads_path.h"
#include "exchange/ldap_hresult.h"
#include "exchange/recipient_alias.h"
#include "ldap/ldap_session.h"
#include "ldap/result_codes.h"
#include "ldap/sealed_bind.h"
#include "platform/code_page.h"
#include "platform/random_bytes.h"
#include "text/string_helpers.h"

namespace varnel {

struct LdapDirectoryObjectService::Session {
  std::string key;
  LdapConnection* connection = nullptr;   // owned below, or the run's shared session
  std::unique_ptr<LdapConnection> owned;  // null for a shared session
  std::optional<std::string> configurationNamingContext;  // read on first need
};

struct LdapDirectoryObjectService::BoundObject {
  std::shared_ptr<Session> session;
  std::string dn;
  LdapEntry entry;                       // as read at bind time, updated by each save
  std::vector<LdapModification> staged;  // replacements, in the order first staged
};

namespace {

// Attributes read when an object is bound: everything the operations decide on.
const std::vector<std::string> kObjectAttributes = {
    "objectClass", "cn",      "sAMAccountName",       "mailNickname",  "legacyExchangeDN",
    "homeMDB",     "homeMTA", "msExchHomeServerName", "targetAddress", "mail",
};

// Results after which a session cannot be trusted to carry another request.
bool IsConnectionFailure(HResult hr) {
  for (int ldapCode :
       {kLdapServerDown, 0x52 /* local error */, 0x55 /* timeout */, 0x5b /* connect error */}) {
    if (hr == HResultFromLdapCode(ldapCode)) return true;
  }
  return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return LowerCase(a) == LowerCase(b); }

std::string FirstValue(const LdapEntry& entry, const std::string& name) {
  const std::vector<std::string>* values = entry.Find(name);
  return values == nullptr || values->empty() ? "" : values->front();
}

// The most specific class: the last objectClass value as the server sent them.
std::string MostSpecificClass(const LdapEntry& entry) {
  const std::vector<std::string>* values = entry.Find("objectClass");
  return values == nullptr || values->empty() ? "" : values->back();
}

bool IsUserClass(const std::string& objectClass) {
  return EqualNoCase(objectClass, "user") || EqualNoCase(objectClass, "inetOrgPerson");
}

// The staged value of an attribute when one is staged, else the value read.
std::string CurrentValue(const LdapEntry& entry, const std::vector<LdapModification>& staged,
                         const std::string& name) {
  for (const LdapModification& mod : staged) {
    if (EqualNoCase(mod.type, name)) return mod.values.empty() ? "" : mod.values.front();
  }
  return FirstValue(entry, name);
}

void Stage(std::vector<LdapModification>& staged, const std::string& name,
           std::vector<std::string> values) {
  for (LdapModification& mod : staged) {
    if (EqualNoCase(mod.type, name)) {
      mod.values = std::move(values);
      return;
    }
  }
  staged.push_back({LdapModification::Op::kReplace, name, std::move(values)});
}

// A legacy Exchange DN is an X.500 name ("/o=.../ou=.../cn=..."); anything
// else (such as the "ADCDisabledMail" marker) does not address the recipient.
bool IsLegacyDn(const std::string& value) { return !value.empty() && value.front() == '/'; }

// Makes the saved values part of what the object holds.
void ApplyToEntry(LdapEntry& entry, const std::vector<LdapModification>& mods) {
  for (const LdapModification& mod : mods) {
    auto it = std::find_if(entry.attributes.begin(), entry.attributes.end(),
                           [&](const LdapAttribute& a) { return EqualNoCase(a.name, mod.type); });
    if (mod.values.empty()) {
      if (it != entry.attributes.end()) entry.attributes.erase(it);
    } else if (it == entry.attributes.end()) {
      entry.attributes.push_back({mod.type, mod.values});
    } else {
      it->values = mod.values;
    }
  }
}

}  // namespace

LdapDirectoryObjectService::LdapDirectoryObjectService(LdapConnector& connector,
                                                       RandomSource random)
    : connector_(connector), random_(random ? std::move(random) : RandomSource(FillRandomBytes)) {}

LdapDirectoryObjectService::~LdapDirectoryObjectService() = default;

HResult LdapDirectoryObjectService::OpenSession(const std::optional<std::string>& server,
                                                std::shared_ptr<Session>* session) {
  const std::string key = server ? LowerCase(*server) : std::string();
  auto found = sessions_.find(key);
  if (found != sessions_.end()) {
    *session = found->second;
    return kSOk;
  }
  int openError = 0;
  std::unique_ptr<LdapConnection> connection =
      connector_.Open(server ? &*server : nullptr, ChoosePort(server, 0), &openError);
  if (!connection) return HResultFromLdapCode(openError != 0 ? openError : kLdapServerDown);
  connection->SetOption(LdapOption::kVersion, 3);  // a refusal shows in the bind's result
  // The same sealing rule as the run's own session; a refused session fails
  // as the server's "strong authentication required" would.
  const int rc = NegotiateBindSealed(*connection, nullptr).code;
  if (rc != kLdapSuccess) return HResultFromLdapCode(rc);

  auto opened = std::make_shared<Session>();
  opened->key = key;
  opened->connection = connection.get();
  opened->owned = std::move(connection);
  sessions_[key] = opened;
  *session = std::move(opened);
  return kSOk;
}

void LdapDirectoryObjectService::DropIfBroken(Session& session, HResult hr) {
  if (!IsConnectionFailure(hr)) return;
  auto found = sessions_.find(session.key);
  if (found != sessions_.end() && found->second.get() == &session) sessions_.erase(found);
}

int LdapDirectoryObjectService::Search(Session& session, const LdapSearchRequest& request,
                                       std::vector<LdapEntry>* entries) {
  const int rc = session.connection->Search(request, entries);
  DropIfBroken(session, HResultFromLdapCode(rc));
  return rc;
}

HResult LdapDirectoryObjectService::ReadEntry(Session& session, const std::string& dn,
                                              const std::vector<std::string>& attributes,
                                              LdapEntry* entry) {
  const HResult hr = ReadObject(*session.connection, dn, "(objectClass=*)", attributes, entry);
  DropIfBroken(session, hr);
  return hr;
}

HResult LdapDirectoryObjectService::ResolveMailDatabase(Session& session, const std::string& mdbDn,
                                                        MailDatabaseHome* home) {
  const HResult hr = ReadMailDatabaseHome(*session.connection, mdbDn, home);
  DropIfBroken(session, hr);
  return hr;
}

HResult LdapDirectoryObjectService::AdminGroupLegacyDnAbove(Session& session,
                                                            const std::string& serverDn,
                                                            std::string* legacyDn) {
  LdapEntry group;
  const HResult hr = FindAncestor(*session.connection, serverDn, "msExchAdminGroup", &group);
  DropIfBroken(session, hr);
  if (hr != kSOk) return hr;
  *legacyDn = FirstValue(group, "legacyExchangeDN");
  return legacyDn->empty() ? kEAdsPropertyNotFound : kSOk;
}

HResult LdapDirectoryObjectService::FirstAdminGroupLegacyDn(Session& session,
                                                            std::string* legacyDn) {
  if (!session.configurationNamingContext) {
    LdapEntry rootDse;
    const HResult hr = ReadEntry(session, "", {"configurationNamingContext"}, &rootDse);
    if (hr != kSOk) return hr;
    session.configurationNamingContext = FirstValue(rootDse, "configurationNamingContext");
  }
  if (session.configurationNamingContext->empty()) return kEAdsPropertyNotFound;

  LdapSearchRequest request;
  request.base = "CN=Microsoft Exchange,CN=Services," + *session.configurationNamingContext;
  request.scope = LdapScope::kSubtree;
  request.filter = "(objectClass=msExchAdminGroup)";
  request.attributes = std::vector<std::string>{"legacyExchangeDN"};
  std::vector<LdapEntry> groups;
  const int rc = Search(session, request, &groups);
  if (rc != kLdapSuccess) return HResultFromLdapCode(rc);
  if (groups.empty()) return kEDsNoSuchObject;
  *legacyDn = FirstValue(groups.front(), "legacyExchangeDN");
  return legacyDn->empty() ? kEAdsPropertyNotFound : kSOk;
}

void LdapDirectoryObjectService::StageMailboxHome(BoundObject& object, const MailDatabaseHome& home,
                                                  bool moving) {
  Stage(object.staged, "homeMDB", {home.mdbDn});
  if (home.mtaDn) {
    Stage(object.staged, "homeMTA", {"CN=Microsoft MTA," + home.serverDn});
  } else if (moving && !CurrentValue(object.entry, object.staged, "homeMTA").empty()) {
    Stage(object.staged, "homeMTA", {});  // the old server's MTA no longer serves the mailbox
  }
  Stage(object.staged, "msExchHomeServerName", {home.serverLegacyDn});
}

DirectoryObjectRef LdapDirectoryObjectService::AddHandle(std::shared_ptr<BoundObject> object,
                                                         Interface kind) {
  const uint64_t handle = nextHandle_++;
  handles_[handle] = HandleEntry{std::move(object), kind};
  return DirectoryObjectRef(this, handle);
}

HResult LdapDirectoryObjectService::Lookup(const DirectoryObjectRef& ref, HandleEntry** entry) {
  if (!ref.IsBound()) return kEPointer;
  auto found = handles_.find(ref.handle());
  if (found == handles_.end()) return kEPointer;
  *entry = &found->second;
  return kSOk;
}

HResult LdapDirectoryObjectService::LookupInterface(const DirectoryObjectRef& ref, Interface kind,
                                                    BoundObject** object) {
  HandleEntry* entry = nullptr;
  const HResult hr = Lookup(ref, &entry);
  if (hr != kSOk) return hr;
  if (entry->kind != kind) return kENoInterface;
  *object = entry->object.get();
  return kSOk;
}

HResult LdapDirectoryObjectService::Bind(std::u16string_view adsPath, DirectoryObjectRef* object) {
  AdsPath path;
  HResult hr = ParseAdsPath(adsPath, &path);
  if (hr != kSOk) return hr;
  std::shared_ptr<Session> session;
  hr = OpenSession(path.server, &session);
  if (hr != kSOk) return hr;

  auto bound = std::make_shared<BoundObject>();
  hr = ReadEntry(*session, path.dn, kObjectAttributes, &bound->entry);
  if (hr != kSOk) return hr;
  bound->dn = bound->entry.dn;
  bound->session = std::move(session);
  *object = AddHandle(std::move(bound), Interface::kObject);
  return kSOk;
}

HResult LdapDirectoryObjectService::QueryInterface(const DirectoryObjectRef& object, Interface kind,
                                                   DirectoryObjectRef* result) {
  HandleEntry* entry = nullptr;
  const HResult hr = Lookup(object, &entry);
  if (hr != kSOk) return hr;
  const std::string objectClass = MostSpecificClass(entry->object->entry);
  bool offered = IsUserClass(objectClass);
  if (kind == Interface::kMailRecipient)
    offered = offered || EqualNoCase(objectClass, "group") || EqualNoCase(objectClass, "contact");
  if (!offered) return kENoInterface;
  *result = AddHandle(entry->object, kind);
  return kSOk;
}

HResult LdapDirectoryObjectService::QueryMailboxStore(const DirectoryObjectRef& object,
                                                      DirectoryObjectRef* mailboxStore) {
  return QueryInterface(object, Interface::kMailboxStore, mailboxStore);
}

HResult LdapDirectoryObjectService::QueryMailRecipient(const DirectoryObjectRef& object,
                                                       DirectoryObjectRef* mailRecipient) {
  return QueryInterface(object, Interface::kMailRecipient, mailRecipient);
}

HResult LdapDirectoryObjectService::CreateMailbox(const DirectoryObjectRef& mailboxStore,
                                                  std::u16string_view homeMdb) {
  BoundObject* found = nullptr;
  HResult hr = LookupInterface(mailboxStore, Interface::kMailboxStore, &found);
  if (hr != kSOk) return hr;
  BoundObject& object = *found;
  if (!CurrentValue(object.entry, object.staged, "homeMDB").empty()) return kEObjectAlreadyExists;

  MailDatabaseHome home;
  hr = ResolveMailDatabase(*object.session, WideToNarrow(homeMdb), &home);
  if (hr != kSOk) return hr;

  const bool needsNickname = CurrentValue(object.entry, object.staged, "mailNickname").empty();
  const bool needsLegacyDn =
      !IsLegacyDn(CurrentValue(object.entry, object.staged, "legacyExchangeDN"));
  const std::string alias =
      AliasFor(FirstValue(object.entry, "sAMAccountName"), FirstValue(object.entry, "cn"));
  if ((needsNickname || needsLegacyDn) && alias.empty()) return kEAdsPropertyInvalid;
  std::string legacyDn;
  if (needsLegacyDn) {
    std::string groupLegacyDn;
    hr = AdminGroupLegacyDnAbove(*object.session, home.serverDn, &groupLegacyDn);
    if (hr != kSOk) return hr;
    legacyDn = groupLegacyDn + "/cn=Recipients/cn=" + alias;
  }
  std::array<uint8_t, 16> guid{};
  if (!random_(guid)) return kEFail;

  StageMailboxHome(object, home, /*moving=*/false);
  if (needsNickname) Stage(object.staged, "mailNickname", {alias});
  if (needsLegacyDn) Stage(object.staged, "legacyExchangeDN", {legacyDn});
  Stage(object.staged, "mDBUseDefaults", {"TRUE"});
  Stage(object.staged, "msExchMailboxGuid", {std::string(guid.begin(), guid.end())});
  return kSOk;
}

HResult LdapDirectoryObjectService::MoveMailbox(const DirectoryObjectRef& mailboxStore,
                                                std::u16string_view homeMdb) {
  BoundObject* found = nullptr;
  HResult hr = LookupInterface(mailboxStore, Interface::kMailboxStore, &found);
  if (hr != kSOk) return hr;
  BoundObject& object = *found;
  const std::string current = CurrentValue(object.entry, object.staged, "homeMDB");
  if (current.empty()) return kEAdsPropertyNotFound;
  const std::string target = WideToNarrow(homeMdb);
  if (EqualNoCase(current, target)) return kEObjectAlreadyExists;

  MailDatabaseHome home;
  hr = ResolveMailDatabase(*object.session, target, &home);
  if (hr != kSOk) return hr;
  StageMailboxHome(object, home, /*moving=*/true);
  return kSOk;
}

HResult LdapDirectoryObjectService::MailEnable(const DirectoryObjectRef& mailRecipient,
                                               std::u16string_view targetAddress) {
  BoundObject* found = nullptr;
  HResult hr = LookupInterface(mailRecipient, Interface::kMailRecipient, &found);
  if (hr != kSOk) return hr;
  BoundObject& object = *found;
  const std::string objectClass = MostSpecificClass(object.entry);
  const bool isGroup = EqualNoCase(objectClass, "group");

  if (!CurrentValue(object.entry, object.staged, "targetAddress").empty())
    return kEObjectAlreadyExists;
  if (IsUserClass(objectClass) && !CurrentValue(object.entry, object.staged, "homeMDB").empty())
    return kEObjectAlreadyExists;
  const std::string target = WideToNarrow(targetAddress);
  if (!isGroup && target.empty()) return kEAdsBadParameter;

  const bool needsNickname = CurrentValue(object.entry, object.staged, "mailNickname").empty();
  const bool needsLegacyDn =
      !IsLegacyDn(CurrentValue(object.entry, object.staged, "legacyExchangeDN"));
  const std::string alias =
      AliasFor(FirstValue(object.entry, "sAMAccountName"), FirstValue(object.entry, "cn"));
  if ((needsNickname || needsLegacyDn) && alias.empty()) return kEAdsPropertyInvalid;
  std::string legacyDn;
  if (needsLegacyDn) {
    std::string groupLegacyDn;
    hr = FirstAdminGroupLegacyDn(*object.session, &groupLegacyDn);
    if (hr != kSOk) return hr;
    legacyDn = groupLegacyDn + "/cn=Recipients/cn=" + alias;
  }

  if (!isGroup) Stage(object.staged, "targetAddress", {target});
  if (needsNickname) Stage(object.staged, "mailNickname", {alias});
  if (needsLegacyDn) Stage(object.staged, "legacyExchangeDN", {legacyDn});
  if (isGroup) {
    Stage(object.staged, "reportToOriginator", {"TRUE"});
  } else {
    Stage(object.staged, "mAPIRecipient", {"FALSE"});
  }
  return kSOk;
}

HResult LdapDirectoryObjectService::TakeChanges(const DirectoryObjectRef& object, std::string* dn,
                                                std::vector<LdapModification>* mods) {
  HandleEntry* handle = nullptr;
  const HResult hr = Lookup(object, &handle);
  if (hr != kSOk) return hr;
  BoundObject& bound = *handle->object;
  *dn = bound.dn;
  *mods = std::move(bound.staged);
  bound.staged.clear();
  return kSOk;
}

HResult LdapDirectoryObjectService::Save(const DirectoryObjectRef& object) {
  std::string dn;
  std::vector<LdapModification> mods;
  const HResult hr = TakeChanges(object, &dn, &mods);
  if (hr != kSOk || mods.empty()) return hr;
  BoundObject& bound = *handles_.at(object.handle()).object;
  const int rc = bound.session->connection->Modify(dn, mods);
  DropIfBroken(*bound.session, HResultFromLdapCode(rc));
  if (rc != kLdapSuccess) {
    bound.staged = std::move(mods);  // still pending, as nothing was written
    return HResultFromLdapCode(rc);
  }
  ApplyToEntry(bound.entry, mods);
  return kSOk;
}

HResult LdapDirectoryObjectService::GetClass(const DirectoryObjectRef& object,
                                             std::u16string* className) {
  className->clear();
  HandleEntry* handle = nullptr;
  const HResult hr = Lookup(object, &handle);
  if (hr != kSOk) return hr;
  const std::string objectClass = MostSpecificClass(handle->object->entry);
  if (objectClass.empty()) return kEAdsPropertyNotFound;
  *className = NarrowToWide(objectClass);
  return kSOk;
}

void LdapDirectoryObjectService::Release(uint64_t handle) { handles_.erase(handle); }

void LdapDirectoryObjectService::ShareSession(const std::optional<std::string>& server,
                                              LdapConnection& connection) {
  auto shared = std::make_shared<Session>();
  shared->key = server ? LowerCase(*server) : std::string();
  shared->connection = &connection;
  sessions_[shared->key] = std::move(shared);
}

}  // namespace varnel
