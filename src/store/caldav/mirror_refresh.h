// The mirror of a bound mailbox's collection in the calendar store, brought up to date: what changed
// since the stored sync token (sync-collection), or, from a server without it, what the members'
// ETags tell against the stored ones; then the changed members' calendar data (calendar-multiget),
// stored by the import's own stages (calendar_import.h), so that a mirrored calendar gives the pages
// of the same calendar imported.
//
// Every member is one resource of one UID with its overridden instances (RFC 4791); the store keeps
// its href, ETag and the UIDs it brought (caldav_resources), so that a change or deletion replaces or
// removes exactly those events. A member that is malformed is left out with a note and not asked for
// again until its ETag changes. The new sync token is stored only when every change asked for came,
// so that none is lost; the writing is one transaction, nothing when nothing changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sqlite/sqlite_database.h"
#include "store/caldav/collection_client.h"

namespace qv::caldav {

struct MirrorReport {
  size_t stored = 0;               // members stored anew or again
  size_t removed = 0;              // members gone from the collection
  std::vector<std::string> notes;  // members and entries left out, with the reason
};

// Raises ECalDAVLogonRefused and ECalDAVUnavailable as the client does; the store is then unchanged.
MirrorReport RefreshMirror(platform::SqliteDatabase& database, int64_t mailbox_id, CollectionClient& client);

// The stored token of a server that does not offer sync-collection: its ETags are compared instead.
constexpr const char* kNoSyncCollection = "quorvane:no-sync-collection";

}  // namespace qv::caldav
