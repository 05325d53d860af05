// Finding the calendar collection behind the address an administrator or a user pastes, as calendar
// programs find it: a server (its /.well-known/caldav, RFC 6764), a principal or anything that names
// the user's principal (DAV:current-user-principal, RFC 5397), a calendar home
// (CALDAV:calendar-home-set, RFC 4791 section 6.2.1) or the collection itself. In the home, the
// calendar asked for by name (its display name or the last segment of its path), else the server's
// default (CALDAV:schedule-default-calendar-URL, RFC 6638), else the first by URL that takes events.
//
// Every request goes as the user, through the trace (path "discovery"). Only hrefs of the address's
// own server (scheme, host and port) are followed, since the password goes with each request; the
// collection found is an absolute URL of that server.
#pragma once

#include <string>
#include <vector>

#include "store/caldav/http_exchange.h"

namespace qv::caldav {

struct DiscoveryRequest {
  std::string url;
  std::string user;
  std::string password;  // UTF-8
  bool allow_http = false;
};

struct CalendarOffer {
  std::string url;  // absolute
  std::string display_name;
  std::vector<std::string> components;  // the kinds it takes (VEVENT, VTODO ...); empty when not told
  bool is_default = false;
};

struct CalendarListing {
  std::string home;  // the calendar home's URL; empty when the address is a calendar collection
  std::vector<CalendarOffer> calendars;  // in order of their URLs
};

// The calendars the address offers the user. Raises ECalDAVLogonRefused (collection_client.h) for a
// refused password, ECalDAVUnavailable naming the server and what was not found or not answered.
CalendarListing ListCalendars(const DiscoveryRequest& request, const HttpSettings& settings);

// The collection to mirror for `calendar` (empty: the default) of those listed; ECalDAVUnavailable
// when none fits, naming those there are.
CalendarOffer ChooseCalendar(const CalendarListing& listing, const std::string& calendar);

// ChooseCalendar of ListCalendars.
CalendarOffer FindCollection(const DiscoveryRequest& request, const std::string& calendar,
                             const HttpSettings& settings);

// Whether a calendar is the one of that name: its display name, or the last segment of its path.
bool IsCalendarNamed(const CalendarOffer& offer, const std::string& name);

}  // namespace qv::caldav
