// The properties that finding a calendar asks of a server (RFC 4918, 4791, 5397, 6638), read from a
// PROPFIND's multistatus answer with the multistatus reader's parser rules (libxml2, by namespace,
// no entities, nothing fetched). Only properties a propstat of 200 carried count; a response
// without an href is left out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::caldav {

struct DavProperties {
  std::string href;  // as the server wrote it
  bool collection = false;
  bool calendar = false;   // CALDAV:calendar in its resourcetype
  bool principal = false;  // DAV:principal in its resourcetype
  std::string display_name;
  std::vector<std::string> components;                // supported-calendar-component-set; empty when not told
  std::optional<std::string> current_user_principal;  // an href
  std::vector<std::string> calendar_home_set;         // hrefs
  std::optional<std::string> schedule_inbox;          // an href
  std::optional<std::string> schedule_default_calendar;
};

// At most this many responses are read; a home with more calendars is cut there.
constexpr size_t kMaxListedResources = 1000;

// Raises EMultistatusFormatError (multistatus.h) for what is no multistatus document.
std::vector<DavProperties> ReadPropertyListing(std::string_view xml);

// The PROPFIND body that asks for all of the above.
std::string PropfindDiscoveryBody();

}  // namespace qv::caldav
