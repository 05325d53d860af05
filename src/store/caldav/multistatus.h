// The WebDAV multistatus answers of a CalDAV server (RFC 4918, 4791, 6578) read with libxml2, by
// namespace and local name (any prefix), and the request bodies that ask for them.
//
// A document with a DTD is refused: nothing is fetched or expanded. A response without an href is
// left out with a note, so that one bad item does not cost the others.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::caldav {

// An answer that is no multistatus document.
QV_EXCEPTION_CLASS(EMultistatusFormatError, Exception);

struct DavResource {
  std::string href;  // as the server wrote it
  // 200 when a propstat of 200 carried properties; else the response's own status (404 for a member
  // that is gone) or its first propstat's; 0 when none was told.
  int status = 0;
  std::string etag;
  std::optional<std::string> calendar_data;
  bool collection = false;  // its resourcetype holds DAV:collection
};

struct Multistatus {
  std::vector<DavResource> resources;
  std::string sync_token;          // DAV:sync-token at the top, empty when none
  std::vector<std::string> notes;  // responses left out, with the reason
};

Multistatus ReadMultistatus(std::string_view xml);

// The path of an href, which servers write as a path or as a whole URL.
std::string HrefPath(const std::string& href);

// The status of an HTTP status line: 404 of "HTTP/1.1 404 Not Found"; 0 when it is none.
int StatusOfLine(std::string_view line);

// The request bodies: the getetag and resourcetype of the members (PROPFIND, Depth 1); the changes
// since a sync token, empty for all (REPORT sync-collection, Depth 0); the getetag and calendar-data
// of the named members (REPORT calendar-multiget, no Depth header).
std::string PropfindEtagsBody();
std::string SyncCollectionBody(const std::string& sync_token);
std::string MultigetBody(const std::vector<std::string>& hrefs);

}  // namespace qv::caldav
