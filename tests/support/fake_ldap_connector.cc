#include "support/fake_ldap_connector.h"

#include <utility>

namespace varnel::testing {
namespace {

constexpr int kServerDown = 0x51;

// One session onto a shared fake directory; once broken it fails every call.
class FakeSession : public LdapConnection {
 public:
  FakeSession(std::shared_ptr<FakeLdapConnection> directory, std::shared_ptr<bool> broken)
      : directory_(std::move(directory)), broken_(std::move(broken)) {}

  int SetOption(LdapOption option, int value) override {
    return *broken_ ? kServerDown : directory_->SetOption(option, value);
  }
  int NegotiateBind() override {
    if (*broken_) return kServerDown;
    if (sentWithBind_ && directory_->bindWithSearchResult != 0) {
      sentWithBind_ = false;
      return directory_->bindWithSearchResult;
    }
    return directory_->NegotiateBind();
  }
  SessionSecurity Security() override { return directory_->Security(); }
  int SetSaslSsf(const SaslSsfRange& range) override {
    return *broken_ ? kServerDown : directory_->SetSaslSsf(range);
  }
  BoundSecurity Bound() override { return directory_->Bound(); }
  int Search(const LdapSearchRequest& request, std::vector<LdapEntry>* entries) override {
    return *broken_ ? kServerDown : directory_->Search(request, entries);
  }
  int Modify(const std::string& dn, const std::vector<LdapModification>& mods) override {
    return *broken_ ? kServerDown : directory_->Modify(dn, mods);
  }
  // Requests are answered when started (the base class's way); the
  // directory keeps count of those not yet finished. A broken session sends
  // nothing, as a closed socket takes no request.
  int StartSearch(const LdapSearchRequest& request, int* id) override {
    if (*broken_) return kServerDown;
    const int rc = LdapConnection::StartSearch(request, id);
    if (rc == 0) directory_->NoteRequestStarted();
    return rc;
  }
  int FinishSearch(int id, std::vector<LdapEntry>* entries) override {
    directory_->NoteRequestFinished();
    return LdapConnection::FinishSearch(id, entries);
  }
  int StartModify(const std::string& dn, const std::vector<LdapModification>& mods,
                  int* id) override {
    if (*broken_) return kServerDown;
    const int rc = LdapConnection::StartModify(dn, mods, id);
    if (rc == 0) {
      writing_[*id] = dn;
      directory_->NoteWriteStarted(dn);
      directory_->NoteRequestStarted();
    }
    return rc;
  }
  int FinishModify(int id) override {
    auto found = writing_.find(id);
    if (found != writing_.end()) {
      directory_->NoteWriteFinished(found->second);
      directory_->NoteRequestFinished();
      writing_.erase(found);
    }
    return LdapConnection::FinishModify(id);
  }
  std::optional<std::string> DiagnosticMessage() override {
    return *broken_ ? std::nullopt : directory_->DiagnosticMessage();
  }
  std::optional<std::string> MissingTicketCache() override {
    return directory_->MissingTicketCache();
  }
  bool TlsSetupFailed() override { return directory_->TlsSetupFailed(); }
  void SendWithBind(const LdapSearchRequest&) override { sentWithBind_ = true; }
  std::optional<std::vector<LdapEntry>> TakeSentWithBind() override {
    return std::exchange(sentWithBind_, false) ? directory_->answerWithBind : std::nullopt;
  }

 private:
  std::shared_ptr<FakeLdapConnection> directory_;
  std::shared_ptr<bool> broken_;
  std::map<int, std::string> writing_;
  bool sentWithBind_ = false;
};

}  // namespace

FakeLdapConnection& FakeLdapConnector::Directory(const std::string& server) {
  std::shared_ptr<FakeLdapConnection>& directory = directories_[server];
  if (!directory) directory = std::make_shared<FakeLdapConnection>();
  return *directory;
}

void FakeLdapConnector::BreakOpenSessions() {
  for (const std::shared_ptr<bool>& broken : brokenFlags_) *broken = true;
}

std::unique_ptr<LdapConnection> FakeLdapConnector::Open(const ServerAddress* server,
                                                        int* systemError) {
  const int port = server != nullptr ? server->port : 389;
  const std::string named = server != nullptr ? server->host + ":" + std::to_string(port) : "";
  opens.push_back({server != nullptr, named, port});
  if (openError != 0) {
    *systemError = openError;
    return nullptr;
  }
  const std::string key = server != nullptr ? named : kDefaultServer;
  Directory(key);
  auto broken = std::make_shared<bool>(false);
  brokenFlags_.push_back(broken);
  return std::make_unique<FakeSession>(directories_[key], broken);
}

}  // namespace varnel::testing
