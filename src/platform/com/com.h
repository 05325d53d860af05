// The part of COM the system uses: entering an apartment (CoInitializeEx) and creating an object by
// its class identifier (CoCreateInstance).
//
// Objects are C++ classes derived from IUnknown and shared by reference count (std::shared_ptr). A
// class becomes creatable when its provider registers a factory under its class identifier; until
// then creation fails with REGDB_E_CLASSNOTREG, as for a library that is not installed. As with COM,
// a thread may create objects once it has entered an apartment, or when some thread of the process
// has entered the multithreaded apartment (threads that never called CoInitializeEx join it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/com/guid.h"

namespace qv::platform {

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);

inline bool SUCCEEDED(HRESULT result) {
  return result >= 0;
}
inline bool FAILED(HRESULT result) {
  return result < 0;
}

enum CoInit : uint32_t { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };

// A class or interface identifier written out as its 32 hexadecimal digits in the usual groups:
// Data1 (4 bytes), Data2 and Data3 (2 bytes each) in little-endian memory order, then 8 bytes.
constexpr Guid MakeGuid(uint32_t data1, uint16_t data2, uint16_t data3, uint8_t b0, uint8_t b1, uint8_t b2,
                        uint8_t b3, uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7) {
  return Guid{static_cast<uint8_t>(data1),
              static_cast<uint8_t>(data1 >> 8),
              static_cast<uint8_t>(data1 >> 16),
              static_cast<uint8_t>(data1 >> 24),
              static_cast<uint8_t>(data2),
              static_cast<uint8_t>(data2 >> 8),
              static_cast<uint8_t>(data3),
              static_cast<uint8_t>(data3 >> 8),
              b0,
              b1,
              b2,
              b3,
              b4,
              b5,
              b6,
              b7};
}

// "{3FA7DEB3-6438-101B-ACC1-00AA00423326}".
std::string GuidToString(const Guid& guid);

// The root of every object; an object answers for the interfaces it implements.
class IUnknown {
 public:
  virtual ~IUnknown() = default;
  // True when the object implements the interface (QueryInterface without the pointer).
  virtual bool SupportsInterface(const Guid& iid) const = 0;
};

// Enters the calling thread into an apartment: S_OK the first time, S_FALSE when it is already in
// the same one, RPC_E_CHANGED_MODE when it is in the other kind. Each successful call is matched by
// one CoUninitialize.
HRESULT CoInitializeEx(void* reserved, uint32_t coinit);
void CoUninitialize();

using ClassFactory = std::function<std::shared_ptr<IUnknown>()>;

// Makes a class creatable (replacing an earlier factory of the same class) or no longer creatable.
void CoRegisterClass(const Guid& clsid, ClassFactory factory);
void CoRevokeClass(const Guid& clsid);

// Creates an object of the class and checks that it implements the interface: S_OK with the
// object, or CO_E_NOTINITIALIZED, REGDB_E_CLASSNOTREG, E_NOINTERFACE. A factory's exception passes.
HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, std::shared_ptr<IUnknown>* object);

}  // namespace qv::platform
