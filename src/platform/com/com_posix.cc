// Apartments as the process's own bookkeeping: which kind each thread entered and how often, and how
// many threads are in the multithreaded apartment.
#include <atomic>

#include "platform/com/com.h"
#include "platform/com/com_apartment.h"
#include "platform/com/com_thread_state.h"

namespace qv::platform {

namespace {

enum class Apartment { kNone, kMultithreaded, kSingleThreaded };

struct ThreadApartment {
  Apartment kind = Apartment::kNone;
  int entries = 0;
};

thread_local ThreadApartment this_thread_apartment;
std::atomic<int> multithreaded_threads{0};  // threads inside the multithreaded apartment

}  // namespace

HRESULT CoInitializeEx(void*, uint32_t coinit) {
  const Apartment wanted =
      (coinit & COINIT_APARTMENTTHREADED) != 0 ? Apartment::kSingleThreaded : Apartment::kMultithreaded;
  ThreadApartment& current = this_thread_apartment;
  if (current.kind != Apartment::kNone && current.kind != wanted) return RPC_E_CHANGED_MODE;
  if (current.entries++ > 0) return S_FALSE;
  current.kind = wanted;
  if (wanted == Apartment::kMultithreaded) ++multithreaded_threads;
  return S_OK;
}

void CoUninitialize() {
  ThreadApartment& current = this_thread_apartment;
  if (current.entries == 0 || --current.entries > 0) return;
  if (current.kind == Apartment::kMultithreaded) --multithreaded_threads;
  current.kind = Apartment::kNone;
}

void ForgetThreadApartment() {
  this_thread_apartment = ThreadApartment{};
}

bool CurrentThreadMayCreateObjects() {
  return this_thread_apartment.kind != Apartment::kNone || multithreaded_threads > 0;
}

}  // namespace qv::platform
