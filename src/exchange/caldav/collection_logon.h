// The logon to a mailbox bound to a CalDAV collection: the server is the authority, so the user's
// password is checked by asking the server, and that same request brings the mirror up to date.
//
// The collection is the binding's, or, for an address of a server, principal or calendar home, the
// one the first accepted logon finds there (discovery.h), which the store keeps (and looks for again
// when it answers 404: the calendar deleted or renamed). A mailbox that the
// collection template gives (collection_template.h) is stored at its first accepted logon, and the
// template's mailboxes unused for CalDAVTemplateKeepDays are dropped with their mirrors.
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
  std::string collection_template;  // empty: mailboxes need registration
  int32_t template_keep_days = 30;  // 0: kept
};

// The settings of the service (Config) where the process made them, else as the registry holds them.
CollectionSettings MachineCollectionSettings();

struct CollectionLogon {
  bool accepted = false;
  int64_t mailbox_id = 0;          // the mailbox in the store, when accepted
  std::vector<std::string> notes;  // what a refresh left out, with the reason
};

enum class Refresh { kWhenDue, kNow };

// Checks the password (UTF-8) of the bound mailbox's user and refreshes its mirror as described
// above; a mailbox of id 0 (from the template) is stored once the password is accepted. Raises
// ECalDAVUnavailable, naming the server and the reason, when the server cannot answer.
CollectionLogon LogOnToCollection(CalendarStore& store, const MailboxRecord& mailbox,
                                  const std::string& password, const CollectionSettings& settings,
                                  Refresh refresh = Refresh::kWhenDue);

}  // namespace qv::caldav
