// Automation over the system's IDispatch: foreign objects behind AutomationObject, objects of ours
// behind an IDispatch of this layer, and VARIANT, BSTR and SAFEARRAY converted at the border.
#include "platform/com/automation.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/os/windows_api_win32.h"

// clang-format off
#include <oleauto.h>
// clang-format on

namespace qv::platform {

namespace {

::GUID ToGuid(const Guid& guid) {
  ::GUID system_guid;
  static_assert(sizeof system_guid == sizeof guid, "a GUID is 16 bytes");
  std::memcpy(&system_guid, guid.data(), sizeof system_guid);
  return system_guid;
}

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(text), ::SysStringLen(text));
}

BSTR ToBstr(const std::u16string& text) {
  return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

// A reference to a COM interface, released when it goes.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(Interface* pointer) : pointer_(pointer) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  Interface* get() const { return pointer_; }
  Interface** out() { return &pointer_; }
  Interface* release() {
    Interface* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

 private:
  Interface* pointer_ = nullptr;
};

// A VARIANT that is cleared when it goes.
class OwnedVariant {
 public:
  OwnedVariant() { ::VariantInit(&value_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  ~OwnedVariant() { ::VariantClear(&value_); }
  VARIANT* get() { return &value_; }

 private:
  VARIANT value_;
};

IDispatch* DispatchOf(const std::shared_ptr<AutomationObject>& object);
std::shared_ptr<AutomationObject> ObjectOf(IDispatch* dispatch);

// Fills an initialised VARIANT; false when memory runs out.
bool ToVariant(const Variant& value, VARIANT* out) {
  switch (value.kind) {
    case VariantKind::Empty:
      out->vt = VT_EMPTY;
      return true;
    case VariantKind::Null:
      out->vt = VT_NULL;
      return true;
    case VariantKind::Bool:
      out->vt = VT_BOOL;
      out->boolVal = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case VariantKind::Int:
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(value.integer);
      return true;
    case VariantKind::Double:
      out->vt = VT_R8;
      out->dblVal = value.number;
      return true;
    case VariantKind::Date:
      out->vt = VT_DATE;
      out->date = value.number;
      return true;
    case VariantKind::Text:
      out->bstrVal = ToBstr(value.text);
      if (out->bstrVal == nullptr) return false;
      out->vt = VT_BSTR;
      return true;
    case VariantKind::Bytes: {
      SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(value.bytes.size()));
      if (array == nullptr) return false;
      void* data = nullptr;
      if (FAILED(::SafeArrayAccessData(array, &data))) {
        ::SafeArrayDestroy(array);
        return false;
      }
      if (!value.bytes.empty()) std::memcpy(data, value.bytes.data(), value.bytes.size());
      ::SafeArrayUnaccessData(array);
      out->vt = VT_ARRAY | VT_UI1;
      out->parray = array;
      return true;
    }
    case VariantKind::Object:
      out->vt = VT_DISPATCH;
      out->pdispVal = DispatchOf(value.object);
      return value.object == nullptr || out->pdispVal != nullptr;
    case VariantKind::Error:
      out->vt = VT_ERROR;
      out->scode = value.error;
      return true;
  }
  return false;
}

// The value of a VARIANT (by reference or not); DISP_E_TYPEMISMATCH for kinds the system does not use.
HRESULT FromVariant(const VARIANT& in, Variant* value) {
  OwnedVariant direct;
  HRESULT result = ::VariantCopyInd(direct.get(), const_cast<VARIANT*>(&in));
  if (FAILED(result)) return result;
  const VARIANT& v = *direct.get();
  *value = Variant();
  switch (v.vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_NULL:
      value->kind = VariantKind::Null;
      return S_OK;
    case VT_BOOL:
      *value = Variant::Bool(v.boolVal != VARIANT_FALSE);
      return S_OK;
    case VT_UI1:
      *value = Variant::Int(v.bVal);
      return S_OK;
    case VT_I2:
      *value = Variant::Int(v.iVal);
      return S_OK;
    case VT_I4:
      *value = Variant::Int(v.lVal);
      return S_OK;
    case VT_I8:
      *value = Variant::Int(v.llVal);
      return S_OK;
    case VT_R4:
      value->kind = VariantKind::Double;
      value->number = v.fltVal;
      return S_OK;
    case VT_R8:
      value->kind = VariantKind::Double;
      value->number = v.dblVal;
      return S_OK;
    case VT_DATE:
      *value = Variant::Date(v.date);
      return S_OK;
    case VT_BSTR:
      *value = Variant::Text(FromBstr(v.bstrVal));
      return S_OK;
    case VT_ERROR:
      value->kind = VariantKind::Error;
      value->error = v.scode;
      return S_OK;
    case VT_DISPATCH:
      *value = Variant::Object(v.pdispVal == nullptr ? nullptr : ObjectOf(v.pdispVal));
      return S_OK;
    case VT_UNKNOWN: {
      if (v.punkVal == nullptr) {
        *value = Variant::Object(nullptr);
        return S_OK;
      }
      ComRef<IDispatch> dispatch;
      result = v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.out()));
      if (FAILED(result)) return DISP_E_TYPEMISMATCH;
      *value = Variant::Object(ObjectOf(dispatch.get()));
      return S_OK;
    }
    case VT_ARRAY | VT_UI1: {
      SAFEARRAY* array = v.parray;
      std::string bytes;
      if (array != nullptr && ::SafeArrayGetDim(array) == 1) {
        LONG lower = 0;
        LONG upper = -1;
        ::SafeArrayGetLBound(array, 1, &lower);
        ::SafeArrayGetUBound(array, 1, &upper);
        void* data = nullptr;
        if (upper >= lower && SUCCEEDED(::SafeArrayAccessData(array, &data))) {
          bytes.assign(static_cast<const char*>(data), static_cast<size_t>(upper - lower + 1));
          ::SafeArrayUnaccessData(array);
        }
      }
      *value = Variant::Bytes(std::move(bytes));
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// A foreign object: every call goes to its IDispatch.
class ForeignObject : public AutomationObject {
 public:
  explicit ForeignObject(IDispatch* dispatch) : dispatch_(dispatch) { dispatch_->AddRef(); }
  ~ForeignObject() override { dispatch_->Release(); }
  ForeignObject(const ForeignObject&) = delete;
  ForeignObject& operator=(const ForeignObject&) = delete;

  IDispatch* Dispatch() const { return dispatch_; }

  HRESULT GetIDOfName(const std::u16string& name, int32_t* dispid) override {
    std::u16string terminated = name;
    LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(terminated.data())};
    DISPID id = 0;
    const HRESULT result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(result)) *dispid = id;
    return result;
  }

  HRESULT Invoke(int32_t dispid, uint16_t flags, const std::vector<Variant>& args, Variant* result,
                 ExcepInfo* fault) override {
    // DISPPARAMS holds the arguments last first.
    std::vector<VARIANT> reversed(args.size());
    for (VARIANT& slot : reversed) ::VariantInit(&slot);
    struct Clear {
      std::vector<VARIANT>& slots;
      ~Clear() {
        for (VARIANT& slot : slots) ::VariantClear(&slot);
      }
    } clear{reversed};
    for (size_t i = 0; i < args.size(); ++i) {
      if (!ToVariant(args[i], &reversed[args.size() - 1 - i])) return E_OUTOFMEMORY;
    }
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
      params.rgdispidNamedArgs = &put_id;
      params.cNamedArgs = 1;
    }
    OwnedVariant answer;
    EXCEPINFO excepinfo{};
    UINT bad_argument = 0;
    const bool wants_result = (flags & DISPATCH_PROPERTYPUT) == 0;
    HRESULT hr = dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                   wants_result ? answer.get() : nullptr, &excepinfo, &bad_argument);
    if (hr == DISP_E_EXCEPTION) {
      if (excepinfo.pfnDeferredFillIn != nullptr) excepinfo.pfnDeferredFillIn(&excepinfo);
      fault->source = FromBstr(excepinfo.bstrSource);
      fault->description = FromBstr(excepinfo.bstrDescription);
      fault->scode =
          excepinfo.scode != 0 ? excepinfo.scode : (excepinfo.wCode != 0 ? E_FAIL : DISP_E_EXCEPTION);
    }
    ::SysFreeString(excepinfo.bstrSource);
    ::SysFreeString(excepinfo.bstrDescription);
    ::SysFreeString(excepinfo.bstrHelpFile);
    if (FAILED(hr)) return hr;
    *result = Variant();
    if (wants_result) hr = FromVariant(*answer.get(), result);
    return hr;
  }

 private:
  IDispatch* dispatch_;
};

// The system's interfaces have no virtual destructors: COM objects end themselves in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// An object of ours behind the system's IDispatch.
class DispatchOfOurs : public IDispatch {
 public:
  DispatchOfOurs(std::shared_ptr<AutomationObject> object, const ::GUID& iid)
      : object_(std::move(object)), iid_(iid) {}
  virtual ~DispatchOfOurs() = default;

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (::IsEqualGUID(riid, IID_IUnknown) || ::IsEqualGUID(riid, IID_IDispatch) ||
        ::IsEqualGUID(riid, iid_)) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }

  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      int32_t id = DISPID_UNKNOWN;
      const std::u16string name(reinterpret_cast<const char16_t*>(names[i]));
      if (i == 0) {
        try {
          if (FAILED(object_->GetIDOfName(name, &id))) id = DISPID_UNKNOWN;
        } catch (...) {
          id = DISPID_UNKNOWN;
        }
      }
      ids[i] = id;
      if (id == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* answer, EXCEPINFO* excepinfo, UINT*) override {
    try {
      // Last first in DISPPARAMS, the put value (the named argument) first of all: reversed, the
      // arguments come in declared order with the put value last.
      std::vector<Variant> args(params == nullptr ? 0 : params->cArgs);
      for (size_t i = 0; i < args.size(); ++i) {
        const HRESULT converted = FromVariant(params->rgvarg[args.size() - 1 - i], &args[i]);
        if (FAILED(converted)) return converted;
      }
      Variant result;
      ExcepInfo fault;
      const HRESULT hr = object_->Invoke(dispid, flags, args, &result, &fault);
      if (hr == DISP_E_EXCEPTION && excepinfo != nullptr) {
        std::memset(excepinfo, 0, sizeof *excepinfo);
        excepinfo->bstrSource = fault.source.empty() ? nullptr : ToBstr(fault.source);
        excepinfo->bstrDescription = fault.description.empty() ? nullptr : ToBstr(fault.description);
        excepinfo->scode = fault.scode;
      }
      if (FAILED(hr)) return hr;
      if (answer != nullptr) {
        ::VariantInit(answer);
        if (!ToVariant(result, answer)) return E_OUTOFMEMORY;
      }
      return hr;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  const std::shared_ptr<AutomationObject>& Object() const { return object_; }

 private:
  std::shared_ptr<AutomationObject> object_;
  const ::GUID iid_;
  std::atomic<ULONG> references_{1};
};

// A foreign object is handed back as its own IDispatch, one of ours gets a new one; a reference for
// the receiver either way.
IDispatch* DispatchOf(const std::shared_ptr<AutomationObject>& object) {
  if (object == nullptr) return nullptr;
  if (const auto* foreign = dynamic_cast<const ForeignObject*>(object.get())) {
    foreign->Dispatch()->AddRef();
    return foreign->Dispatch();
  }
  return new (std::nothrow) DispatchOfOurs(object, IID_IDispatch);
}

std::shared_ptr<AutomationObject> ObjectOf(IDispatch* dispatch) {
  return std::make_shared<ForeignObject>(dispatch);
}

class ClassFactoryOfOurs : public IClassFactory {
 public:
  ClassFactoryOfOurs(AutomationFactory factory, const ::GUID& iid)
      : factory_(std::move(factory)), iid_(iid) {}
  virtual ~ClassFactoryOfOurs() = default;

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (::IsEqualGUID(riid, IID_IUnknown) || ::IsEqualGUID(riid, IID_IClassFactory)) {
      AddRef();
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  ::HRESULT STDMETHODCALLTYPE CreateInstance(::IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      std::shared_ptr<AutomationObject> object = factory_();
      if (object == nullptr) return E_FAIL;
      ComRef<DispatchOfOurs> dispatch(new DispatchOfOurs(std::move(object), iid_));
      return dispatch.get()->QueryInterface(riid, out);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  AutomationFactory factory_;
  const ::GUID iid_;
  std::atomic<ULONG> references_{1};
};

#pragma GCC diagnostic pop

}  // namespace

HRESULT CreateAutomationObject(const Guid& clsid, const Guid& iid,
                               std::shared_ptr<AutomationObject>* object) {
  object->reset();
  const ::GUID class_id = ToGuid(clsid);
  ComRef<IDispatch> dispatch;
  HRESULT result = ::CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, reinterpret_cast<void**>(dispatch.out()));
  if (FAILED(result)) return result;
  // The members are called through the dispatch interface the object answers for.
  const ::GUID interface_id = ToGuid(iid);
  ComRef<IDispatch> session;
  result = dispatch.get()->QueryInterface(interface_id, reinterpret_cast<void**>(session.out()));
  if (FAILED(result)) return result;
  *object = ObjectOf(session.get());
  return S_OK;
}

HRESULT CoRegisterAutomationClass(const Guid& clsid, const Guid& iid, AutomationFactory factory,
                                  uint32_t* cookie) {
  ComRef<ClassFactoryOfOurs> class_factory(new (std::nothrow)
                                               ClassFactoryOfOurs(std::move(factory), ToGuid(iid)));
  if (class_factory.get() == nullptr) return E_OUTOFMEMORY;
  DWORD registration = 0;
  const HRESULT result = ::CoRegisterClassObject(ToGuid(clsid), class_factory.get(), CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &registration);
  if (SUCCEEDED(result)) *cookie = registration;
  return result;
}

HRESULT CoRevokeAutomationClass(uint32_t cookie) {
  return ::CoRevokeClassObject(cookie);
}

}  // namespace qv::platform
