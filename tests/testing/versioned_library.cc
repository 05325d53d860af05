#include "testing/versioned_library.h"

#include <memory>
#include <optional>

#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/com.h"

namespace qv::testing {

namespace {

// A calendar store session that tells another version and does everything else as the store's.
class VersionedSession : public cdo::Session {
 public:
  explicit VersionedSession(std::string version)
      : version_(std::move(version)), store_(CreateCalendarStoreSession()) {}

  bool SupportsInterface(const platform::Guid& iid) const override { return store_->SupportsInterface(iid); }
  std::string Version() override { return version_; }
  void Logon(const std::optional<std::string>& profile_name,
             const std::optional<std::string>& profile_password, bool show_dialog, bool new_session,
             int64_t parent_window, bool no_mail, const std::optional<std::string>& profile_info) override {
    store_->Logon(profile_name, profile_password, show_dialog, new_session, parent_window, no_mail,
                  profile_info);
  }
  void Logoff() override { store_->Logoff(); }
  std::shared_ptr<cdo::AddressEntry> CurrentUser() override { return store_->CurrentUser(); }
  std::shared_ptr<cdo::Folder> GetDefaultFolder(int32_t kind) override {
    return store_->GetDefaultFolder(kind);
  }

 private:
  const std::string version_;
  const std::shared_ptr<cdo::Session> store_;
};

}  // namespace

void RegisterLibraryOfVersion(const std::string& version) {
  platform::CoRegisterClass(cdo::CLSID_Session,
                            [version] { return std::make_shared<VersionedSession>(version); });
}

}  // namespace qv::testing
