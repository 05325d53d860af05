// The logon to a mailbox bound to a CalDAV collection: the server is the authority, so the user's
// password is checked by asking the server, and that same request brings the mirror up to date.
//
// A logon that the logon cache vouches for (key: the collection, the user and a keyed digest of the
// password; it holds for the cache's lifetime alone, since no change counter tells of a password
// changed on the server) asks nothing while the mirror is fresh: refreshed less than
// CalDAVRefreshSeconds ago by this process (0: on every request). Any other logon refreshes the
// mirror with the password given; 401 or 403 refuse it. One refresh at a time per mailbox and process:
// the requests of one mailbox that arrive meanwhile wait for it (at most the server's time-outs) and
// then find the mirror fresh.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/caldav/http_exchange.h"
#include "store/calendar_store.h"

namespace qv::caldav {

struct CollectionSettings {
  HttpSettings http;
  int32_t refresh_seconds = 10;
};

// The settings of the service (Config) where the process made them, else as the registry holds them.
CollectionSettings MachineCollectionSettings();

struct CollectionLogon {
  bool accepted = false;
  std::vector<std::string> notes;  // what a refresh left out, with the reason
};

enum class Refresh { kWhenDue, kNow };

// Checks the password (UTF-8) of the bound mailbox's user and refreshes its mirror as described
// above. Raises ECalDAVUnavailable, naming the server and the reason, when the server cannot answer.
CollectionLogon LogOnToCollection(CalendarStore& store, const MailboxRecord& mailbox,
                                  const std::string& password, const CollectionSettings& settings,
                                  Refresh refresh = Refresh::kWhenDue);

}  // namespace qv::caldav
