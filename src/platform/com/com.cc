#include "platform/com/com.h"
#include "platform/com/com_apartment.h"

#include <map>
#include <mutex>

namespace qv::platform {

namespace {

struct ClassTable {
  std::mutex lock;
  std::map<Guid, ClassFactory> factories;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}

}  // namespace

std::string GuidToString(const Guid& guid) {
  static const char kDigits[] = "0123456789ABCDEF";
  // Data1, Data2 and Data3 are little-endian in memory; the last 8 bytes are written as they are.
  static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const uint8_t byte = guid[kOrder[i]];
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text + "}";
}

void CoRegisterClass(const Guid& clsid, ClassFactory factory) {
  std::lock_guard<std::mutex> guard(Classes().lock);
  Classes().factories[clsid] = std::move(factory);
}

void CoRevokeClass(const Guid& clsid) {
  std::lock_guard<std::mutex> guard(Classes().lock);
  Classes().factories.erase(clsid);
}

HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, std::shared_ptr<IUnknown>* object) {
  object->reset();
  ClassFactory factory;
  {
    std::lock_guard<std::mutex> guard(Classes().lock);
    if (!CurrentThreadMayCreateObjects()) return CO_E_NOTINITIALIZED;
    const auto found = Classes().factories.find(clsid);
    if (found == Classes().factories.end()) return REGDB_E_CLASSNOTREG;
    factory = found->second;
  }
  std::shared_ptr<IUnknown> created = factory();
  if (created == nullptr || !created->SupportsInterface(iid)) return E_NOINTERFACE;
  *object = std::move(created);
  return S_OK;
}

}  // namespace qv::platform
