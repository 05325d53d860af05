// The messaging library (Collaboration Data Objects 1.2x) as the calendar access uses it: a typed
// interface of the session, address entry, folder, message collection, filter and appointment, and
// the creation of a session through COM by the library's class identifier.
//
// The objects are implemented by a driver that registers the session class with COM: on Linux the
// calendar store (calendar_store_driver.h), which hands mailboxes bound to CalDAV collections to
// exchange/caldav/; on Windows a driver over the real automation library
// calls the session members by the dispatch identifiers below and the others by name. Every failure
// is raised as EOleException.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/com/com.h"
#include "platform/errors/exception.h"
#include "support/date_time.h"

namespace qv {

// An automation error of the messaging library: its message and its HRESULT.
class EOleException : public Exception {
 public:
  EOleException(std::string message, platform::HRESULT error_code)
      : Exception(std::move(message)), ErrorCode(error_code) {}
  const char* ClassName() const noexcept override { return "EOleException"; }
  platform::HRESULT ErrorCode;
};

namespace cdo {

// The session class and its dispatch interface.
constexpr platform::Guid CLSID_Session =
    platform::MakeGuid(0x3FA7DEB3, 0x6438, 0x101B, 0xAC, 0xC1, 0x00, 0xAA, 0x00, 0x42, 0x33, 0x26);
constexpr platform::Guid IID_Session =
    platform::MakeGuid(0x3FA7DEA8, 0x6438, 0x101B, 0xAC, 0xC1, 0x00, 0xAA, 0x00, 0x42, 0x33, 0x26);

// Dispatch identifiers of the session members.
enum SessionDispId : int32_t {
  DISPID_CurrentUser = 1,
  DISPID_Version = 44,
  DISPID_Logoff = 118,
  DISPID_Logon = 119,
  DISPID_GetDefaultFolder = 153,
};

constexpr int32_t CdoDefaultFolderCalendar = 0;

// Property tags: the filter's latest start and earliest end, and the owner's account on the address entry.
constexpr uint32_t CdoPR_START_DATE = 0x00600040;
constexpr uint32_t CdoPR_END_DATE = 0x00610040;
constexpr uint32_t PR_EMS_AB_ASSOC_NT_ACCOUNT = 0x80270102;

// The library's error codes.
constexpr platform::HRESULT MAPI_E_CALL_FAILED = static_cast<platform::HRESULT>(0x80004005);
constexpr platform::HRESULT MAPI_E_NOT_ENOUGH_MEMORY = static_cast<platform::HRESULT>(0x8007000E);
constexpr platform::HRESULT MAPI_E_INVALID_PARAMETER = static_cast<platform::HRESULT>(0x80070057);
constexpr platform::HRESULT MAPI_E_NO_SUPPORT = static_cast<platform::HRESULT>(0x80040102);
constexpr platform::HRESULT MAPI_E_NOT_FOUND = static_cast<platform::HRESULT>(0x8004010F);
constexpr platform::HRESULT MAPI_E_LOGON_FAILED = static_cast<platform::HRESULT>(0x80040111);
constexpr platform::HRESULT MAPI_E_NETWORK_ERROR = static_cast<platform::HRESULT>(0x80040115);
constexpr platform::HRESULT MAPI_E_NOT_INITIALIZED = static_cast<platform::HRESULT>(0x80040605);

// Raises EOleException with the reason followed by the code's name and number, as
// "reason [MAPI_E_NOT_FOUND(8004010F)]".
[[noreturn]] void RaiseOleError(platform::HRESULT code, const std::string& reason);

class AppointmentItem {
 public:
  virtual ~AppointmentItem() = default;
  virtual bool AllDayEvent() = 0;
  // Local OLE automation dates.
  virtual TDateTime StartTime() = 0;
  virtual TDateTime EndTime() = 0;
  // Windows-1252 texts, possibly empty; line breaks as CR LF.
  virtual std::string Subject() = 0;
  virtual std::string Location() = 0;
  virtual std::string Text() = 0;
};

class MessageFilter {
 public:
  virtual ~MessageFilter() = default;
  // Fields(tag) = value: CdoPR_START_DATE sets the latest start of a wanted item, CdoPR_END_DATE
  // the earliest end. Setting a field puts the collection's cursor back before its first item.
  virtual void SetField(uint32_t tag, TDateTime value) = 0;
};

class Messages {
 public:
  virtual ~Messages() = default;
  virtual std::shared_ptr<MessageFilter> Filter() = 0;
  // The wanted items in order of start time; nullptr past either end. The collection keeps the
  // cursor: GetNext before any GetFirst gives the first item, GetPrevious after the end the last.
  virtual std::shared_ptr<AppointmentItem> GetFirst() = 0;
  virtual std::shared_ptr<AppointmentItem> GetNext() = 0;
  virtual std::shared_ptr<AppointmentItem> GetPrevious() = 0;
  // The item at the 0-based position (below 0: the first), the cursor left on it; nullptr past the
  // end, the cursor then after the last. The same as GetFirst and GetNext that many times, which is
  // what this default does; a driver that can find a position directly does so instead.
  virtual std::shared_ptr<AppointmentItem> Seek(int64_t position);
};

class Folder {
 public:
  virtual ~Folder() = default;
  // A new collection of the folder's items, without a filter.
  virtual std::shared_ptr<cdo::Messages> Messages() = 0;
};

class Field {
 public:
  virtual ~Field() = default;
  virtual std::string Value() = 0;
};

class AddressEntry {
 public:
  virtual ~AddressEntry() = default;
  // The display name; "Unknown" when nobody is logged on.
  virtual std::string Name() = 0;
  // Fields(tag).Value: PR_EMS_AB_ASSOC_NT_ACCOUNT is the owner's SID as hexadecimal text, two
  // digits per byte.
  virtual std::shared_ptr<Field> Fields(uint32_t tag) = 0;
};

class Session : public platform::IUnknown {
 public:
  // The library's version as decimal text.
  virtual std::string Version() = 0;
  // Opens the mailbox that the profile information names ("server" CR LF "mailbox") without any
  // dialog. Omitted arguments are std::nullopt.
  virtual void Logon(const std::optional<std::string>& profile_name,
                     const std::optional<std::string>& profile_password, bool show_dialog, bool new_session,
                     int64_t parent_window, bool no_mail, const std::optional<std::string>& profile_info) = 0;
  virtual void Logoff() = 0;
  virtual std::shared_ptr<AddressEntry> CurrentUser() = 0;
  // Only CdoDefaultFolderCalendar is offered.
  virtual std::shared_ptr<Folder> GetDefaultFolder(int32_t kind) = 0;

  // Beyond the library: the password check of a logged-on mailbox whose authority is a server of its
  // own (a CalDAV collection) rather than the owner's account. Nothing when the owner's account
  // decides (Fields(PR_EMS_AB_ASSOC_NT_ACCOUNT)), which is all that the library itself offers; else
  // whether the server accepted the password (Windows-1252, as the phone sent it). A server that
  // cannot answer raises MAPI_E_NETWORK_ERROR, naming it and the reason.
  virtual std::optional<bool> CheckMailboxPassword(const std::string& password);
};

// A new session object of the registered library (no logon). Raises EOleException when the
// calling thread has no apartment or the library is not registered.
std::shared_ptr<Session> CreateSession();

}  // namespace cdo
}  // namespace qv
