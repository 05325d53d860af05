// A messaging library of the test's own: a session over appointments held in memory, for pages whose
// texts the calendar store would not take (control characters), and for watching the session's
// logon and logoff. It keeps the collection's cursor as the library does; the filter is recorded but
// selects nothing: the test gives the appointments of the window.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/messaging_library.h"

namespace qv::testing {

struct FakeAppointment {
  TDateTime start = 0;
  TDateTime end = 0;
  bool all_day = false;
  std::string subject;
  std::string location;
  std::string text;
};

class FakeAppointmentItem : public cdo::AppointmentItem {
 public:
  explicit FakeAppointmentItem(FakeAppointment appointment) : a_(std::move(appointment)) {}
  bool AllDayEvent() override { return a_.all_day; }
  TDateTime StartTime() override { return a_.start; }
  TDateTime EndTime() override { return a_.end; }
  std::string Subject() override { return a_.subject; }
  std::string Location() override { return a_.location; }
  std::string Text() override { return a_.text; }

 private:
  FakeAppointment a_;
};

struct FakeFilterFields {
  std::optional<TDateTime> latest_start;
  std::optional<TDateTime> earliest_end;
};

class FakeFilter : public cdo::MessageFilter {
 public:
  explicit FakeFilter(std::shared_ptr<FakeFilterFields> fields) : fields_(std::move(fields)) {}
  void SetField(uint32_t tag, TDateTime value) override {
    if (tag == cdo::CdoPR_START_DATE) fields_->latest_start = value;
    if (tag == cdo::CdoPR_END_DATE) fields_->earliest_end = value;
  }

 private:
  std::shared_ptr<FakeFilterFields> fields_;
};

class FakeMessages : public cdo::Messages {
 public:
  FakeMessages(const std::vector<FakeAppointment>& items, std::shared_ptr<FakeFilterFields> fields)
      : items_(items), fields_(std::move(fields)) {}
  std::shared_ptr<cdo::MessageFilter> Filter() override { return std::make_shared<FakeFilter>(fields_); }
  std::shared_ptr<cdo::AppointmentItem> GetFirst() override {
    place_ = 0;
    return Current();
  }
  std::shared_ptr<cdo::AppointmentItem> GetNext() override {
    if (place_ < static_cast<long>(items_.size())) ++place_;
    return Current();
  }
  std::shared_ptr<cdo::AppointmentItem> GetPrevious() override {
    if (place_ >= 0) --place_;
    return Current();
  }

 private:
  std::shared_ptr<cdo::AppointmentItem> Current() {
    if (place_ < 0 || place_ >= static_cast<long>(items_.size())) return nullptr;
    return std::make_shared<FakeAppointmentItem>(items_[static_cast<size_t>(place_)]);
  }

  const std::vector<FakeAppointment>& items_;
  std::shared_ptr<FakeFilterFields> fields_;
  long place_ = -1;  // before the first
};

class FakeFolder : public cdo::Folder {
 public:
  FakeFolder(const std::vector<FakeAppointment>& items, std::shared_ptr<FakeFilterFields> fields)
      : items_(items), fields_(std::move(fields)) {}
  std::shared_ptr<cdo::Messages> Messages() override {
    return std::make_shared<FakeMessages>(items_, fields_);
  }

 private:
  const std::vector<FakeAppointment>& items_;
  std::shared_ptr<FakeFilterFields> fields_;
};

class FakeField : public cdo::Field {
 public:
  explicit FakeField(std::string value) : value_(std::move(value)) {}
  std::string Value() override { return value_; }

 private:
  std::string value_;
};

class FakeAddressEntry : public cdo::AddressEntry {
 public:
  FakeAddressEntry(std::string name, std::string sid_hex)
      : name_(std::move(name)), sid_hex_(std::move(sid_hex)) {}
  std::string Name() override { return name_; }
  std::shared_ptr<cdo::Field> Fields(uint32_t) override { return std::make_shared<FakeField>(sid_hex_); }

 private:
  std::string name_;
  std::string sid_hex_;
};

// The session; the test keeps it (and its appointments) alive for as long as pages use it.
class FakeSession : public cdo::Session {
 public:
  bool SupportsInterface(const platform::Guid& iid) const override { return iid == cdo::IID_Session; }
  std::string Version() override { return "1.21"; }
  void Logon(const std::optional<std::string>&, const std::optional<std::string>&, bool, bool, int64_t, bool,
             const std::optional<std::string>& profile_info) override {
    ++logons;
    this->profile_info = profile_info.value_or("");
    if (fail_logon) cdo::RaiseOleError(cdo::MAPI_E_LOGON_FAILED, "The logon failed");
  }
  void Logoff() override { ++logoffs; }
  std::shared_ptr<cdo::AddressEntry> CurrentUser() override {
    return std::make_shared<FakeAddressEntry>(user_name, owner_sid_hex);
  }
  std::shared_ptr<cdo::Folder> GetDefaultFolder(int32_t kind) override {
    ++default_folder_calls;
    default_folder_kind = kind;
    return std::make_shared<FakeFolder>(appointments, filter);
  }

  std::vector<FakeAppointment> appointments;
  std::shared_ptr<FakeFilterFields> filter = std::make_shared<FakeFilterFields>();
  std::string user_name = "John Doe";
  std::string owner_sid_hex;
  bool fail_logon = false;
  int logons = 0;
  int logoffs = 0;
  int default_folder_calls = 0;
  int32_t default_folder_kind = -1;
  std::string profile_info;
};

}  // namespace qv::testing
