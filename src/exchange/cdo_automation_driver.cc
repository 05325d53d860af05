#include "exchange/cdo_automation_driver.h"

#include <cmath>
#include <string>
#include <vector>

#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/text/code_page.h"
#include "support/text_helpers.h"

namespace qv {

namespace {

using platform::AutomationObject;
using platform::Variant;
using platform::VariantKind;

// A member of the library's object: by dispatch identifier (the session's) or by name.
struct Member {
  int32_t dispid = 0;
  const char* name = nullptr;  // nullptr: call by dispid

  std::string Describe() const { return name != nullptr ? name : "member " + std::to_string(dispid); }
};

// Runs the member and raises what goes wrong as the library's automation error: the object's own
// account of it when it gave one, else the call's failure.
Variant Call(AutomationObject& object, const Member& member, uint16_t flags,
             const std::vector<Variant>& args = {}) {
  int32_t dispid = member.dispid;
  if (member.name != nullptr) {
    const platform::HRESULT found = object.GetIDOfName(platform::AnsiToWide(member.name), &dispid);
    if (platform::FAILED(found)) cdo::RaiseOleError(found, std::string("Unknown name: ") + member.name);
  }
  Variant result;
  platform::ExcepInfo fault;
  const platform::HRESULT hr = object.Invoke(dispid, flags, args, &result, &fault);
  if (platform::FAILED(hr)) {
    if (hr == platform::DISP_E_EXCEPTION) {
      std::string reason = platform::WideToAnsi(fault.description);
      if (reason.empty()) reason = platform::WideToAnsi(fault.source);
      if (reason.empty()) reason = member.Describe() + " failed";
      cdo::RaiseOleError(fault.scode, reason);
    }
    cdo::RaiseOleError(hr, member.Describe() + " failed");
  }
  return result;
}

constexpr uint16_t kRead = platform::DISPATCH_METHOD | platform::DISPATCH_PROPERTYGET;

[[noreturn]] void RaiseMismatch(const Member& member, const char* wanted) {
  cdo::RaiseOleError(platform::DISP_E_TYPEMISMATCH, member.Describe() + " did not give " + wanted);
}

// Texts come as BSTRs and are the system's Windows-1252 texts here; an empty or null value is "".
std::string AsText(const Variant& value, const Member& member) {
  switch (value.kind) {
    case VariantKind::Text:
      return platform::WideToAnsi(value.text);
    case VariantKind::Empty:
    case VariantKind::Null:
      return std::string();
    case VariantKind::Int:
      return std::to_string(value.integer);
    case VariantKind::Bytes:
      return HexText(value.bytes);
    default:
      RaiseMismatch(member, "a text");
  }
}

bool AsBoolean(const Variant& value, const Member& member) {
  if (value.kind == VariantKind::Bool) return value.boolean;
  if (value.kind == VariantKind::Int) return value.integer != 0;
  RaiseMismatch(member, "a Boolean");
}

TDateTime AsDate(const Variant& value, const Member& member) {
  if ((value.kind == VariantKind::Date || value.kind == VariantKind::Double) && std::isfinite(value.number))
    return value.number;
  RaiseMismatch(member, "a date");
}

// The object a member gives; for the cursor methods any value that holds no object is nullptr.
std::shared_ptr<AutomationObject> AsObject(const Variant& value, const Member& member, bool may_be_empty) {
  if (value.kind == VariantKind::Object && value.object != nullptr) return value.object;
  if (!may_be_empty) RaiseMismatch(member, "an object");
  return nullptr;
}

class AutomationAppointment : public cdo::AppointmentItem {
 public:
  explicit AutomationAppointment(std::shared_ptr<AutomationObject> item) : item_(std::move(item)) {}
  bool AllDayEvent() override { return AsBoolean(Read("AllDayEvent"), {0, "AllDayEvent"}); }
  TDateTime StartTime() override { return AsDate(Read("StartTime"), {0, "StartTime"}); }
  TDateTime EndTime() override { return AsDate(Read("EndTime"), {0, "EndTime"}); }
  std::string Subject() override { return AsText(Read("Subject"), {0, "Subject"}); }
  std::string Location() override { return AsText(Read("Location"), {0, "Location"}); }
  std::string Text() override { return AsText(Read("Text"), {0, "Text"}); }

 private:
  Variant Read(const char* name) { return Call(*item_, {0, name}, kRead); }

  std::shared_ptr<AutomationObject> item_;
};

class AutomationFilter : public cdo::MessageFilter {
 public:
  explicit AutomationFilter(std::shared_ptr<AutomationObject> filter) : filter_(std::move(filter)) {}
  // Fields(tag) = value: a property put of Fields with the tag and the date.
  void SetField(uint32_t tag, TDateTime value) override {
    Call(*filter_, {0, "Fields"}, platform::DISPATCH_PROPERTYPUT,
         {Variant::Int(static_cast<int32_t>(tag)), Variant::Date(value)});
  }

 private:
  std::shared_ptr<AutomationObject> filter_;
};

class AutomationMessages : public cdo::Messages {
 public:
  explicit AutomationMessages(std::shared_ptr<AutomationObject> messages) : messages_(std::move(messages)) {}

  std::shared_ptr<cdo::MessageFilter> Filter() override {
    const Member member{0, "Filter"};
    return std::make_shared<AutomationFilter>(AsObject(Call(*messages_, member, kRead), member, false));
  }
  std::shared_ptr<cdo::AppointmentItem> GetFirst() override { return Item("GetFirst"); }
  std::shared_ptr<cdo::AppointmentItem> GetNext() override { return Item("GetNext"); }
  std::shared_ptr<cdo::AppointmentItem> GetPrevious() override { return Item("GetPrevious"); }

 private:
  std::shared_ptr<cdo::AppointmentItem> Item(const char* name) {
    const Member member{0, name};
    auto item = AsObject(Call(*messages_, member, kRead), member, true);
    if (item == nullptr) return nullptr;
    return std::make_shared<AutomationAppointment>(std::move(item));
  }

  std::shared_ptr<AutomationObject> messages_;
};

class AutomationFolder : public cdo::Folder {
 public:
  explicit AutomationFolder(std::shared_ptr<AutomationObject> folder) : folder_(std::move(folder)) {}
  std::shared_ptr<cdo::Messages> Messages() override {
    const Member member{0, "Messages"};
    return std::make_shared<AutomationMessages>(AsObject(Call(*folder_, member, kRead), member, false));
  }

 private:
  std::shared_ptr<AutomationObject> folder_;
};

class AutomationField : public cdo::Field {
 public:
  explicit AutomationField(std::shared_ptr<AutomationObject> field) : field_(std::move(field)) {}
  // Binary values come as hexadecimal text, or as bytes that are written out so.
  std::string Value() override {
    const Member member{0, "Value"};
    return AsText(Call(*field_, member, kRead), member);
  }

 private:
  std::shared_ptr<AutomationObject> field_;
};

class AutomationAddressEntry : public cdo::AddressEntry {
 public:
  explicit AutomationAddressEntry(std::shared_ptr<AutomationObject> entry) : entry_(std::move(entry)) {}
  std::string Name() override {
    const Member member{0, "Name"};
    return AsText(Call(*entry_, member, kRead), member);
  }
  std::shared_ptr<cdo::Field> Fields(uint32_t tag) override {
    const Member member{0, "Fields"};
    auto field =
        AsObject(Call(*entry_, member, kRead, {Variant::Int(static_cast<int32_t>(tag))}), member, false);
    return std::make_shared<AutomationField>(std::move(field));
  }

 private:
  std::shared_ptr<AutomationObject> entry_;
};

Variant Optional(const std::optional<std::string>& text) {
  return text ? Variant::Text(platform::AnsiToWide(*text)) : Variant::Missing();
}

class AutomationSession : public cdo::Session {
 public:
  explicit AutomationSession(std::shared_ptr<AutomationObject> session) : session_(std::move(session)) {}

  bool SupportsInterface(const platform::Guid& iid) const override { return iid == cdo::IID_Session; }

  std::string Version() override {
    const Member member{cdo::DISPID_Version};
    return AsText(Call(*session_, member, platform::DISPATCH_PROPERTYGET), member);
  }

  void Logon(const std::optional<std::string>& profile_name,
             const std::optional<std::string>& profile_password, bool show_dialog, bool new_session,
             int64_t parent_window, bool no_mail, const std::optional<std::string>& profile_info) override {
    Call(*session_, {cdo::DISPID_Logon}, platform::DISPATCH_METHOD,
         {Optional(profile_name), Optional(profile_password), Variant::Bool(show_dialog),
          Variant::Bool(new_session), Variant::Int(parent_window), Variant::Bool(no_mail),
          Optional(profile_info)});
  }

  void Logoff() override { Call(*session_, {cdo::DISPID_Logoff}, platform::DISPATCH_METHOD); }

  std::shared_ptr<cdo::AddressEntry> CurrentUser() override {
    const Member member{cdo::DISPID_CurrentUser};
    return std::make_shared<AutomationAddressEntry>(
        AsObject(Call(*session_, member, platform::DISPATCH_PROPERTYGET), member, false));
  }

  std::shared_ptr<cdo::Folder> GetDefaultFolder(int32_t kind) override {
    const Member member{cdo::DISPID_GetDefaultFolder};
    return std::make_shared<AutomationFolder>(
        AsObject(Call(*session_, member, platform::DISPATCH_METHOD, {Variant::Int(kind)}), member, false));
  }

 private:
  std::shared_ptr<AutomationObject> session_;
};

}  // namespace

std::shared_ptr<cdo::Session> WrapAutomationSession(std::shared_ptr<platform::AutomationObject> session) {
  return std::make_shared<AutomationSession>(std::move(session));
}

void RegisterCdoAutomationDriver() {
  platform::CoRegisterClass(cdo::CLSID_Session, []() -> std::shared_ptr<platform::IUnknown> {
    std::shared_ptr<AutomationObject> object;
    const platform::HRESULT result =
        platform::CreateAutomationObject(cdo::CLSID_Session, cdo::IID_Session, &object);
    if (result == platform::REGDB_E_CLASSNOTREG) return CreateCalendarStoreSession();
    if (platform::FAILED(result)) {
      if (result == platform::E_NOINTERFACE)
        cdo::RaiseOleError(result,
                           "No such interface supported: " + platform::GuidToString(cdo::IID_Session));
      cdo::RaiseOleError(result, "The messaging library's session cannot be created");
    }
    return WrapAutomationSession(std::move(object));
  });
}

}  // namespace qv
