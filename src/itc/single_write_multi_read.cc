#include "itc/single_write_multi_read.h"

namespace qv {

namespace {

// Gives the turnstile back when the reader's entry is over, whatever happened on the way.
class TurnstilePass {
 public:
  explicit TurnstilePass(platform::Event& turnstile) : turnstile_(turnstile) {
    platform::WaitForSingleObject(turnstile_, platform::INFINITE);
  }
  TurnstilePass(const TurnstilePass&) = delete;
  TurnstilePass& operator=(const TurnstilePass&) = delete;
  ~TurnstilePass() { turnstile_.Set(); }

 private:
  platform::Event& turnstile_;
};

}  // namespace

TSingleWriteMultiRead::TSingleWriteMultiRead()
    : DataSemaphore(1, 1), Turnstile(/*manual_reset=*/false, /*initially_signaled=*/true) {}

void TSingleWriteMultiRead::BeginRead() {
  TurnstilePass pass(Turnstile);
  platform::CriticalSectionLock count_lock(CountLock);
  if (ReaderCount == 0) platform::WaitForSingleObject(DataSemaphore, platform::INFINITE);
  ++ReaderCount;
}

void TSingleWriteMultiRead::EndRead() {
  platform::CriticalSectionLock count_lock(CountLock);
  if (--ReaderCount <= 0) {
    DataSemaphore.Release(1);
    ReaderCount = 0;
  }
}

void TSingleWriteMultiRead::BeginWrite() {
  platform::WaitForSingleObject(Turnstile, platform::INFINITE);
  platform::WaitForSingleObject(DataSemaphore, platform::INFINITE);
}

void TSingleWriteMultiRead::EndWrite() {
  DataSemaphore.Release(1);
  Turnstile.Set();
}

}  // namespace qv
