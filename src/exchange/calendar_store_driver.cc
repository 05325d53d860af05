#include "exchange/calendar_store_driver.h"

#include <cmath>
#include <new>

#include "exchange/messaging_library.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"
#include "platform/text/code_page.h"
#include "store/calendar_store.h"
#include "store/calendar_store_pool.h"
#include "store/calendar_window.h"
#include "support/text_helpers.h"

#if QV_CALDAV
#include "exchange/caldav/collection_logon.h"
#include "exchange/caldav/collection_template.h"
#include "logging/trace_writer.h"
#endif

namespace qv {

namespace {

using cdo::RaiseOleError;

// Runs a member and raises whatever goes wrong in it as the library's automation error.
template <typename Action>
auto Guarded(Action action) -> decltype(action()) {
  try {
    return action();
  } catch (const EOleException&) {
    throw;
  } catch (const std::bad_alloc&) {
    RaiseOleError(cdo::MAPI_E_NOT_ENOUGH_MEMORY, "Not enough memory");
  } catch (const std::exception& error) {
    RaiseOleError(cdo::MAPI_E_CALL_FAILED, error.what());
  }
}

// Store texts are UTF-8 with LF line breaks; the library's are Windows-1252 with CR LF.
std::string LibraryText(const std::string& utf8) {
  std::string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\n' && (i == 0 || utf8[i - 1] != '\r')) text.push_back('\r');
    text.push_back(utf8[i]);
  }
  return platform::Utf8ToWindows1252(text);
}

bool IsThisMachine(const std::string& server) {
  const std::string name = AsciiLowerCase(server);
  return name == "127.0.0.1" || name == "::1" || name == "[::1]" || name == "localhost" ||
         name == AsciiLowerCase(platform::GetComputerName());
}

class StoreAppointment : public cdo::AppointmentItem {
 public:
  explicit StoreAppointment(AppointmentRecord record) : record_(std::move(record)) {}
  bool AllDayEvent() override { return record_.all_day; }
  TDateTime StartTime() override { return record_.start; }
  TDateTime EndTime() override { return record_.end; }
  std::string Subject() override {
    return Guarded([&] { return LibraryText(record_.subject); });
  }
  std::string Location() override {
    return Guarded([&] { return LibraryText(record_.location); });
  }
  std::string Text() override {
    return Guarded([&] { return LibraryText(record_.text); });
  }

 private:
  const AppointmentRecord record_;
};

// What a collection and its filter share.
struct CollectionState {
  std::shared_ptr<CalendarStore> store;
  int64_t mailbox_id = 0;
  std::optional<TDateTime> earliest_end;
  std::optional<TDateTime> latest_start;
  std::unique_ptr<CalendarWindow> window;  // made on the first cursor call after a filter change
};

class StoreFilter : public cdo::MessageFilter {
 public:
  explicit StoreFilter(std::shared_ptr<CollectionState> state) : state_(std::move(state)) {}

  void SetField(uint32_t tag, TDateTime value) override {
    Guarded([&] {
      if (!std::isfinite(value))
        RaiseOleError(cdo::MAPI_E_INVALID_PARAMETER, "The filter value is not a date");
      if (tag == cdo::CdoPR_START_DATE) {
        state_->latest_start = value;
      } else if (tag == cdo::CdoPR_END_DATE) {
        state_->earliest_end = value;
      } else {
        RaiseOleError(cdo::MAPI_E_NO_SUPPORT, "The calendar store filters by start and end only");
      }
      state_->window.reset();
    });
  }

 private:
  std::shared_ptr<CollectionState> state_;
};

class StoreMessages : public cdo::Messages {
 public:
  StoreMessages(std::shared_ptr<CalendarStore> store, int64_t mailbox_id)
      : state_(std::make_shared<CollectionState>()), filter_(std::make_shared<StoreFilter>(state_)) {
    state_->store = std::move(store);
    state_->mailbox_id = mailbox_id;
  }

  std::shared_ptr<cdo::MessageFilter> Filter() override { return filter_; }
  std::shared_ptr<cdo::AppointmentItem> GetFirst() override {
    return Guarded([&] { return Item(Window().First()); });
  }
  std::shared_ptr<cdo::AppointmentItem> GetNext() override {
    return Guarded([&] { return Item(Window().Next()); });
  }
  std::shared_ptr<cdo::AppointmentItem> GetPrevious() override {
    return Guarded([&] { return Item(Window().Previous()); });
  }
  std::shared_ptr<cdo::AppointmentItem> Seek(int64_t position) override {
    return Guarded([&] { return Item(Window().Seek(position)); });
  }

 private:
  CalendarWindow& Window() {
    if (state_->window == nullptr) {
      CalendarStore& store = *state_->store;
      if (state_->latest_start) store.EnsureOccurrencesBefore(state_->mailbox_id, *state_->latest_start);
      state_->window = std::make_unique<CalendarWindow>(store.Database(), state_->mailbox_id,
                                                        state_->earliest_end, state_->latest_start);
    }
    return *state_->window;
  }

  static std::shared_ptr<cdo::AppointmentItem> Item(const AppointmentRecord* record) {
    if (record == nullptr) return nullptr;
    return std::make_shared<StoreAppointment>(*record);
  }

  std::shared_ptr<CollectionState> state_;
  std::shared_ptr<StoreFilter> filter_;
};

class StoreFolder : public cdo::Folder {
 public:
  StoreFolder(std::shared_ptr<CalendarStore> store, int64_t mailbox_id)
      : store_(std::move(store)), mailbox_id_(mailbox_id) {}
  std::shared_ptr<cdo::Messages> Messages() override {
    return Guarded([&] { return std::make_shared<StoreMessages>(store_, mailbox_id_); });
  }

 private:
  std::shared_ptr<CalendarStore> store_;
  int64_t mailbox_id_;
};

class StoreField : public cdo::Field {
 public:
  explicit StoreField(std::string value) : value_(std::move(value)) {}
  std::string Value() override { return value_; }

 private:
  std::string value_;
};

class StoreAddressEntry : public cdo::AddressEntry {
 public:
  StoreAddressEntry(std::string name, platform::Sid owner)
      : name_(std::move(name)), owner_(std::move(owner)) {}
  std::string Name() override { return name_; }
  std::shared_ptr<cdo::Field> Fields(uint32_t tag) override {
    return Guarded([&] {
      if (tag != cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)
        RaiseOleError(cdo::MAPI_E_NOT_FOUND, "The address entry has no such field");
      return std::make_shared<StoreField>(HexText(owner_));
    });
  }

 private:
  std::string name_;
  platform::Sid owner_;
};

constexpr const char* kUnknownUser = "Unknown";

class StoreSession : public cdo::Session {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override { return iid == cdo::IID_Session; }

  std::string Version() override { return kCdoVersion; }

  void Logon(const std::optional<std::string>& profile_name, const std::optional<std::string>&, bool, bool,
             int64_t, bool, const std::optional<std::string>& profile_info) override {
    Guarded([&] {
      if (logged_on_) RaiseOleError(cdo::MAPI_E_LOGON_FAILED, "The session is logged on already");
      if (!profile_info)
        RaiseOleError(cdo::MAPI_E_LOGON_FAILED, profile_name
                                                    ? "Profiles are not offered; give the profile information"
                                                    : "The profile information is missing");
      const size_t line_break = profile_info->find('\n');
      if (line_break == std::string::npos)
        RaiseOleError(cdo::MAPI_E_INVALID_PARAMETER,
                      "The profile information must be the server, a line break and the mailbox");
      std::string server = profile_info->substr(0, line_break);
      if (!server.empty() && server.back() == '\r') server.pop_back();
      const std::string mailbox = platform::Windows1252ToUtf8(profile_info->substr(line_break + 1));
      if (!IsThisMachine(server))
        RaiseOleError(
            cdo::MAPI_E_NETWORK_ERROR,
            "The server \"" + server + "\" cannot be reached: the calendar store serves this machine only");
      auto store = CalendarStorePool::Acquire();
      const auto found = mailbox.empty() ? std::nullopt : FindMailbox(*store, mailbox);
      if (found) {
        store_ = std::move(store);
        mailbox_ = *found;
      }
      logged_on_ = true;
    });
  }

  void Logoff() override {
    logged_on_ = false;
    store_.reset();
    mailbox_.reset();
  }

  std::shared_ptr<cdo::AddressEntry> CurrentUser() override {
    return Guarded([&]() -> std::shared_ptr<cdo::AddressEntry> {
      if (!mailbox_) return std::make_shared<StoreAddressEntry>(kUnknownUser, platform::Sid());
      return std::make_shared<StoreAddressEntry>(LibraryText(mailbox_->display_name), mailbox_->owner);
    });
  }

  std::optional<bool> CheckMailboxPassword(const std::string& password) override {
    if (!mailbox_ || !mailbox_->caldav) return std::nullopt;
    return Guarded([&]() -> bool {
#if QV_CALDAV
      try {
        const caldav::CollectionLogon logon = caldav::LogOnToCollection(
            *store_, *mailbox_, platform::Windows1252ToUtf8(password), caldav::MachineCollectionSettings());
        for (const std::string& note : logon.notes)
          if (TraceWriter.Exists())
            TraceWriter->Trace("CalDAV " + mailbox_->caldav->url + ": left out " + note, 2);
        // A mailbox of the collection template is in the store from its first accepted logon on.
        if (logon.accepted) mailbox_->id = logon.mailbox_id;
        return logon.accepted;
      } catch (const caldav::ECalDAVUnavailable& error) {
        RaiseOleError(cdo::MAPI_E_NETWORK_ERROR, std::string("The CalDAV server ") + error.what());
      }
#else
      // To the phone and the administrator as a server that cannot answer: the error card and an event
      // naming the server, rather than a request that fails unanswered.
      static_cast<void>(password);
      RaiseOleError(cdo::MAPI_E_NETWORK_ERROR, "The CalDAV server " + mailbox_->caldav->url +
                                                   ": this build does not reach CalDAV servers");
#endif
    });
  }

  std::shared_ptr<cdo::Folder> GetDefaultFolder(int32_t kind) override {
    return Guarded([&] {
      if (!logged_on_) RaiseOleError(cdo::MAPI_E_NOT_INITIALIZED, "The session is not logged on");
      if (kind != cdo::CdoDefaultFolderCalendar)
        RaiseOleError(cdo::MAPI_E_NO_SUPPORT, "The calendar store has calendar folders only");
      if (!mailbox_) RaiseOleError(cdo::MAPI_E_NOT_FOUND, "No mailbox is open");
      return std::make_shared<StoreFolder>(store_, mailbox_->id);
    });
  }

 private:
  // The store's mailbox of that name, or, where CalDAV servers are reached, the one the collection
  // template gives.
  static std::optional<MailboxRecord> FindMailbox(CalendarStore& store, const std::string& name) {
    std::optional<MailboxRecord> found = store.FindMailbox(name);
#if QV_CALDAV
    // The settings are read only for a name the store lacks, or one the template made.
    if (!found || (found->caldav && found->caldav->from_template))
      return caldav::OpenMailbox(store, name, caldav::MachineCollectionSettings().collection_template);
#endif
    return found;
  }

  bool logged_on_ = false;
  std::shared_ptr<CalendarStore> store_;
  std::optional<MailboxRecord> mailbox_;
};

}  // namespace

void RegisterCalendarStoreDriver() {
  platform::CoRegisterClass(cdo::CLSID_Session, [] { return CreateCalendarStoreSession(); });
}

std::shared_ptr<cdo::Session> CreateCalendarStoreSession() {
  return std::make_shared<StoreSession>();
}

}  // namespace qv
