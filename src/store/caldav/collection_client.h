// The requests the mirror makes of one calendar collection, as one user: the members' ETags
// (PROPFIND), the changes since a sync token (sync-collection, RFC 6578) and the members' calendar
// data (calendar-multiget, RFC 4791).
//
// 401, and 403 without a body or for the privileges the user lacks, refuse the user's logon
// (ECalDAVLogonRefused); a 403 for a precondition of sync-collection (a report the server does not
// offer) leads to the members' ETags; any other answer that is not the multistatus asked for makes
// the server unavailable (ECalDAVUnavailable, naming it, the status and what the server said). Each
// exchange leaves a trace line (exchange_trace.h) naming the path it served.
#pragma once

#include <string>
#include <vector>

#include "store/caldav/http_exchange.h"
#include "store/caldav/multistatus.h"
#include "store/calendar_store.h"

namespace qv::caldav {

QV_EXCEPTION_CLASS(ECalDAVLogonRefused, Exception);
// The collection answered 404: it is gone (or was moved), and a server's address may lead to another.
QV_EXCEPTION_CLASS(ECalDAVCollectionGone, ECalDAVUnavailable);

class CollectionClient {
 public:
  // The password in UTF-8.
  CollectionClient(const CalDAVBinding& binding, std::string password, HttpSettings settings);

  // The members with their ETags; the collection itself left out. The exchanges from here on serve
  // the ETag path.
  Multistatus ListEtags();

  enum class SyncOutcome {
    kChanges,       // the changes: members with their ETags, those gone with status 404, a new token
    kTokenRefused,  // the server no longer knows the token: ask again with an empty one
    kUnsupported,   // the server does not offer sync-collection
  };
  // The changes since the token (empty: every member).
  SyncOutcome SyncCollection(const std::string& sync_token, Multistatus* changes);

  // The calendar data of the members, as many requests as it takes.
  Multistatus Multiget(const std::vector<std::string>& hrefs);

  const std::string& Server() const { return server_; }
  static constexpr size_t kHrefsPerMultiget = 200;

 private:
  // Without a Depth header when `depth` is empty (calendar-multiget takes none).
  HttpAnswer Send(const std::string& method, const std::string& depth, const std::string& body);
  Multistatus Read(const HttpAnswer& answer, const std::string& what);
  [[noreturn]] void RaiseAnswer(const HttpAnswer& answer, const std::string& what);

  const CalDAVBinding binding_;
  const std::string password_;
  const HttpSettings settings_;
  const std::string server_;
  std::string path_ = "sync-collection";  // for the trace
};

}  // namespace qv::caldav
