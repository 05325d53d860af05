#include "exchange/messaging_library.h"

#include <cstdio>

#include "platform/com/automation.h"

namespace qv::cdo {

namespace {

const char* CodeName(platform::HRESULT code) {
  switch (code) {
    case MAPI_E_CALL_FAILED:
      return "MAPI_E_CALL_FAILED";
    case MAPI_E_NOT_ENOUGH_MEMORY:
      return "MAPI_E_NOT_ENOUGH_MEMORY";
    case MAPI_E_INVALID_PARAMETER:
      return "MAPI_E_INVALID_PARAMETER";
    case MAPI_E_NO_SUPPORT:
      return "MAPI_E_NO_SUPPORT";
    case MAPI_E_NOT_FOUND:
      return "MAPI_E_NOT_FOUND";
    case MAPI_E_LOGON_FAILED:
      return "MAPI_E_LOGON_FAILED";
    case MAPI_E_NETWORK_ERROR:
      return "MAPI_E_NETWORK_ERROR";
    case MAPI_E_NOT_INITIALIZED:
      return "MAPI_E_NOT_INITIALIZED";
    case platform::REGDB_E_CLASSNOTREG:
      return "REGDB_E_CLASSNOTREG";
    case platform::CO_E_NOTINITIALIZED:
      return "CO_E_NOTINITIALIZED";
    case platform::E_NOINTERFACE:
      return "E_NOINTERFACE";
    case platform::DISP_E_MEMBERNOTFOUND:
      return "DISP_E_MEMBERNOTFOUND";
    case platform::DISP_E_TYPEMISMATCH:
      return "DISP_E_TYPEMISMATCH";
    case platform::DISP_E_UNKNOWNNAME:
      return "DISP_E_UNKNOWNNAME";
    case platform::DISP_E_EXCEPTION:
      return "DISP_E_EXCEPTION";
    case platform::DISP_E_BADPARAMCOUNT:
      return "DISP_E_BADPARAMCOUNT";
    default:
      return "E_UNEXPECTED";
  }
}

}  // namespace

void RaiseOleError(platform::HRESULT code, const std::string& reason) {
  char number[16];
  std::snprintf(number, sizeof number, "%08X", static_cast<uint32_t>(code));
  throw EOleException(reason + " [" + CodeName(code) + "(" + number + ")]", code);
}

std::optional<bool> Session::CheckMailboxPassword(const std::string&) {
  return std::nullopt;
}

std::shared_ptr<AppointmentItem> Messages::Seek(int64_t position) {
  std::shared_ptr<AppointmentItem> item = GetFirst();
  for (int64_t i = 0; i < position && item != nullptr; ++i) item = GetNext();
  return item;
}

std::shared_ptr<Session> CreateSession() {
  std::shared_ptr<platform::IUnknown> object;
  const platform::HRESULT result = platform::CoCreateInstance(CLSID_Session, IID_Session, &object);
  switch (result) {
    case platform::S_OK:
      break;
    case platform::CO_E_NOTINITIALIZED:
      RaiseOleError(result, "CoInitialize has not been called");
    case platform::REGDB_E_CLASSNOTREG:
      RaiseOleError(result, "Class not registered: " + platform::GuidToString(CLSID_Session));
    default:
      RaiseOleError(result, "No such interface supported: " + platform::GuidToString(IID_Session));
  }
  auto session = std::dynamic_pointer_cast<Session>(object);
  if (session == nullptr)
    RaiseOleError(platform::E_NOINTERFACE,
                  "No such interface supported: " + platform::GuidToString(IID_Session));
  return session;
}

}  // namespace qv::cdo
