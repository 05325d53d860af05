// The connections to the machine's calendar store that sessions have let go, kept for the next
// sessions: a connection keeps its parsed schema and its prepared statements, which are most of what
// a short page costs. One is handed out again only when it is outside any transaction and the store
// file at its path stands as it did when the connection was handed out (same file, size and write
// time): a store put in its place, or changed by a checkpoint or from outside, gets new connections.
// Thread-safe.
#pragma once

#include <memory>

#include "store/calendar_store.h"

namespace qv {

class CalendarStorePool {
 public:
  // At most this many connections wait; more are closed.
  static constexpr size_t kCapacity = 32;

  // A connection of the machine's store (CalendarStore()), a waiting one or a new one; it waits in
  // the pool again once its last owner lets go of it.
  static std::shared_ptr<CalendarStore> Acquire();

  // Closes the waiting connections, so that none holds the store file open (Windows refuses to
  // delete or replace a file that is open): at the end of the process objects, and before a store
  // file is put in another's place while sessions are idle.
  static void CloseWaiting();
};

}  // namespace qv
