// Apartments are the system's own (CoInitializeEx); the classes that can be created stay those the
// drivers register with the portable registry of com.cc.
#include "platform/com/com.h"
#include "platform/com/com_apartment.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

HRESULT CoInitializeEx(void* reserved, uint32_t coinit) {
  return ::CoInitializeEx(reserved, coinit);
}

void CoUninitialize() {
  ::CoUninitialize();
}

bool CurrentThreadMayCreateObjects() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  // CO_E_NOTINITIALIZED when neither this thread nor any other has entered the multithreaded
  // apartment; a thread that has not entered one but may use it implicitly gets the MTA.
  return SUCCEEDED(::CoGetApartmentType(&type, &qualifier));
}

}  // namespace qv::platform
