// The single-writer / multi-reader lock that guards the endpoint directory: many readers at once, or
// one writer alone. A writer that waits keeps new readers out, so a stream of readers cannot starve
// writers. Every wait is unbounded; nested entry by one thread is not supported.
#pragma once

#include <cstdint>

#include "platform/threads/sync.h"

namespace qv {

class TSingleWriteMultiRead {
 public:
  TSingleWriteMultiRead();
  TSingleWriteMultiRead(const TSingleWriteMultiRead&) = delete;
  TSingleWriteMultiRead& operator=(const TSingleWriteMultiRead&) = delete;

  void BeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();

  // Holds the lock as a reader (writer) for the life of the object.
  class ReadGuard {
   public:
    explicit ReadGuard(TSingleWriteMultiRead& lock) : lock_(lock) { lock_.BeginRead(); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;
    ~ReadGuard() { lock_.EndRead(); }

   private:
    TSingleWriteMultiRead& lock_;
  };
  class WriteGuard {
   public:
    explicit WriteGuard(TSingleWriteMultiRead& lock) : lock_(lock) { lock_.BeginWrite(); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;
    ~WriteGuard() { lock_.EndWrite(); }

   private:
    TSingleWriteMultiRead& lock_;
  };

 private:
  platform::CriticalSection CountLock;  // guards ReaderCount
  // Held by the group of readers inside (taken by the first, given back by the last) or by one writer.
  platform::Semaphore DataSemaphore;
  // Each entering reader passes it (takes it and gives it back); a writer keeps it until it leaves.
  platform::Event Turnstile;
  int32_t ReaderCount = 0;
};

}  // namespace qv
