// Automation (IDispatch): calling the members of an object of another library by dispatch identifier
// or by name, with VARIANT arguments and results, and offering objects of ours the same way.
//
// On Windows an AutomationObject is either a foreign IDispatch (CreateAutomationObject) or one of
// ours that the system calls through an IDispatch of the layer (CoRegisterAutomationClass); texts
// travel as BSTRs (UTF-16), dates as automation dates, objects as IDispatch pointers. Linux has no
// automation libraries: there CreateAutomationObject always answers REGDB_E_CLASSNOTREG.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"

namespace qv::platform {

constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);

// How a member is invoked (may be combined, as method-or-property-get).
constexpr uint16_t DISPATCH_METHOD = 0x1;
constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;

// The kinds of VARIANT the system exchanges.
enum class VariantKind { Empty, Null, Bool, Int, Double, Date, Text, Bytes, Object, Error };

class AutomationObject;

struct Variant {
  VariantKind kind = VariantKind::Empty;
  bool boolean = false;
  int64_t integer = 0;                       // Int (VT_I4, also VT_I2/VT_UI1/VT_I8 when received)
  double number = 0;                         // Double (VT_R8) and Date (VT_DATE: days since 30 December 1899)
  std::u16string text;                       // Text (VT_BSTR)
  std::string bytes;                         // Bytes (a SAFEARRAY of VT_UI1)
  std::shared_ptr<AutomationObject> object;  // Object (VT_DISPATCH; nullptr is a null pointer)
  HRESULT error = 0;                         // Error (VT_ERROR)

  static Variant Bool(bool value);
  static Variant Int(int64_t value);
  static Variant Date(double value);
  static Variant Text(std::u16string value);
  static Variant Bytes(std::string value);
  static Variant Object(std::shared_ptr<AutomationObject> value);
  // An optional argument left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
  static Variant Missing();
};

// What an object that failed says about it (EXCEPINFO).
struct ExcepInfo {
  std::u16string source;
  std::u16string description;
  HRESULT scode = S_OK;
};

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // GetIDsOfNames for one name: S_OK, or DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDOfName(const std::u16string& name, int32_t* dispid) = 0;
  // Invoke with the arguments in the order the member declares them (the layer reverses them into
  // DISPPARAMS); a property put passes the new value as the last argument. DISP_E_EXCEPTION comes
  // with the object's own account of the failure in *fault.
  virtual HRESULT Invoke(int32_t dispid, uint16_t flags, const std::vector<Variant>& args, Variant* result,
                         ExcepInfo* fault) = 0;
};

// CoCreateInstance of the class for IDispatch, then QueryInterface for the dispatch interface iid:
// S_OK with the object, REGDB_E_CLASSNOTREG when the class is not installed, E_NOINTERFACE, or
// another failure of the system's.
HRESULT CreateAutomationObject(const Guid& clsid, const Guid& iid, std::shared_ptr<AutomationObject>* object);

using AutomationFactory = std::function<std::shared_ptr<AutomationObject>()>;

// Makes objects of ours creatable by the system's CoCreateInstance in this process
// (CoRegisterClassObject): each answers for IDispatch and for iid. *cookie is for the revocation.
HRESULT CoRegisterAutomationClass(const Guid& clsid, const Guid& iid, AutomationFactory factory,
                                  uint32_t* cookie);
HRESULT CoRevokeAutomationClass(uint32_t cookie);

}  // namespace qv::platform
