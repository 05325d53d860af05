#include "store/caldav/discovery.h"

#include <algorithm>
#include <optional>

#include "platform/text/ascii_text.h"
#include "store/caldav/collection_client.h"
#include "store/caldav/dav_properties.h"
#include "store/caldav/dav_refusal.h"
#include "store/caldav/exchange_trace.h"
#include "store/caldav/multistatus.h"
#include "store/caldav/web_libraries.h"
#include "support/percent_encoding.h"

namespace qv::caldav {

namespace {

// The decoded path of an href or URL without the slashes it ends in, for telling resources apart.
std::string PathKey(const std::string& href) {
  std::string path = PercentDecode(HrefPath(href));
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.empty() ? "/" : path;
}

std::string LastSegment(const std::string& url) {
  const std::string path = PathKey(url);
  return path.substr(path.rfind('/') + 1);
}

bool TakesEvents(const CalendarOffer& offer) {
  return offer.components.empty() ||
         std::find(offer.components.begin(), offer.components.end(), "VEVENT") != offer.components.end();
}

// One PROPFIND's answer: its responses and the URL that gave them (after redirects).
struct Listing {
  std::vector<DavProperties> resources;
  std::string url;

  // The response about the URL itself; for a Depth 0 answer of another path, its first.
  const DavProperties* Self(bool depth_zero) const {
    for (const DavProperties& resource : resources)
      if (PathKey(resource.href) == PathKey(url)) return &resource;
    return depth_zero && !resources.empty() ? &resources.front() : nullptr;
  }
};

class Finder {
 public:
  Finder(const DiscoveryRequest& request, const HttpSettings& settings)
      : request_(request), settings_(settings), server_(ServerOf(request.url)) {}

  // The address's own properties, or those of the server's well-known place when the address is the
  // server's root.
  Listing Locate() {
    if (PathKey(request_.url) == "/") {
      const std::optional<Listing> known = Propfind(Resolve(request_.url, "/.well-known/caldav"), "0", true);
      if (known) {
        const DavProperties* self = known->Self(true);
        if (self != nullptr &&
            (self->current_user_principal || !self->calendar_home_set.empty() || self->calendar))
          return *known;
      }
    }
    return *Propfind(request_.url, "0", false);
  }

  CalendarListing List(const Listing& located) {
    const DavProperties& self = *SelfOf(located, true);
    CalendarListing listing;
    if (self.calendar) {
      listing.calendars.push_back(Offer(located.url, self));
      return listing;
    }
    std::optional<std::string> inbox = self.schedule_inbox;
    std::optional<std::string> default_calendar = self.schedule_default_calendar;
    std::optional<Listing> home;
    // A calendar home pasted as a calendar program shows it: its own calendars, when it lists some.
    if (self.calendar_home_set.empty() && self.collection && !self.principal && PathKey(located.url) != "/") {
      home = Propfind(located.url, "1", false);
      if (!HoldsCalendars(*home)) home.reset();
    }
    if (!home) {
      std::string base = located.url;
      std::vector<std::string> homes = self.calendar_home_set;
      if (homes.empty() && self.current_user_principal) {
        const std::string principal = Resolve(located.url, *self.current_user_principal);
        if (PathKey(principal) != PathKey(located.url)) {
          const Listing found = *Propfind(principal, "0", false);
          const DavProperties& principal_self = *SelfOf(found, true);
          homes = principal_self.calendar_home_set;
          inbox = principal_self.schedule_inbox;
          base = found.url;
        }
        if (homes.empty())
          throw ECalDAVUnavailable(server_ + ": the principal " + PathKey(principal) +
                                   " names no calendar home");
      }
      if (homes.empty())
        throw ECalDAVUnavailable(server_ + ": " + PathKey(located.url) +
                                 " is no calendar, principal or calendar home");
      home = Propfind(Resolve(base, homes.front()), "1", false);
    }
    listing.home = home->url;
    for (const DavProperties& resource : home->resources) {
      if (!resource.calendar || PathKey(resource.href) == PathKey(home->url)) continue;
      listing.calendars.push_back(Offer(Resolve(home->url, resource.href), resource));
    }
    if (const DavProperties* home_self = home->Self(false); home_self != nullptr && !default_calendar)
      default_calendar = home_self->schedule_default_calendar;
    if (!default_calendar && inbox && !listing.calendars.empty()) {
      if (const std::optional<Listing> box = Propfind(Resolve(home->url, *inbox), "0", true))
        if (const DavProperties* box_self = box->Self(true))
          default_calendar = box_self->schedule_default_calendar;
    }
    std::sort(listing.calendars.begin(), listing.calendars.end(),
              [](const CalendarOffer& a, const CalendarOffer& b) { return a.url < b.url; });
    if (default_calendar) {
      const std::string wanted = PathKey(*default_calendar);
      for (CalendarOffer& offer : listing.calendars) offer.is_default = PathKey(offer.url) == wanted;
    }
    return listing;
  }

  const std::string& Server() const { return server_; }

 private:
  const DavProperties* SelfOf(const Listing& listing, bool depth_zero) {
    const DavProperties* self = listing.Self(depth_zero);
    if (self == nullptr)
      throw ECalDAVUnavailable(server_ + ": " + PathKey(listing.url) + " told nothing of itself");
    return self;
  }

  static bool HoldsCalendars(const Listing& listing) {
    for (const DavProperties& resource : listing.resources)
      if (resource.calendar && PathKey(resource.href) != PathKey(listing.url)) return true;
    return false;
  }

  static CalendarOffer Offer(const std::string& url, const DavProperties& resource) {
    return {url, resource.display_name, resource.components, false};
  }

  // An href of the answer at `base` as an absolute URL; one of another server is refused, since the
  // password would go there.
  std::string Resolve(const std::string& base, const std::string& href) {
    UseWebLibraries();
    const CurlUrl handle(curl_url());
    if (!handle) throw std::bad_alloc();
    char* text = nullptr;
    if (curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, href.c_str(), 0) != CURLUE_OK ||
        curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
      throw ECalDAVUnavailable(server_ + ": the href \"" + href + "\" is no URL");
    const CurlText owned(text);
    std::string url = owned.get();
    if (AsciiLowerCase(ServerOf(url)) != AsciiLowerCase(server_))
      throw ECalDAVUnavailable(server_ + ": discovery leads to another server, " + ServerOf(url) +
                               "; give that server's address");
    return url;
  }

  // A PROPFIND as the user. A refused password raises; any other answer than a multistatus raises
  // too, unless `tolerant`, which gives nothing then.
  std::optional<Listing> Propfind(const std::string& url, const std::string& depth, bool tolerant) {
    HttpRequest request;
    request.method = "PROPFIND";
    request.url = url;
    request.user = request_.user;
    request.password = request_.password;
    request.headers = {"Depth: " + depth, "Content-Type: application/xml; charset=utf-8"};
    request.body = PropfindDiscoveryBody();
    request.allow_http = request_.allow_http;
    HttpAnswer answer = SendTraced(request, settings_, "discovery");
    // libcurl writes the credentials into the URL of a redirect it followed; they go no further.
    answer.url = UrlWithoutCredentials(answer.url);
    const Refusal refusal = ReadRefusal(answer.status, answer.body);
    if (answer.status == 401 || (!tolerant && refusal.kind == Refusal::Kind::kCredentials))
      throw ECalDAVLogonRefused(server_ + " refused the logon of " + request_.user + " (" +
                                std::to_string(answer.status) + ")");
    if (AsciiLowerCase(ServerOf(answer.url)) != AsciiLowerCase(server_)) {
      if (tolerant) return std::nullopt;
      throw ECalDAVUnavailable(server_ + ": " + PathKey(url) + " leads to another server, " +
                               ServerOf(answer.url));
    }
    if (answer.status == 207) {
      try {
        return Listing{ReadPropertyListing(answer.body), answer.url};
      } catch (const EMultistatusFormatError& error) {
        if (tolerant) return std::nullopt;
        throw ECalDAVUnavailable(server_ + ": PROPFIND " + PathKey(url) + ": " + error.what());
      }
    }
    if (tolerant) return std::nullopt;
    const std::string& why = refusal.condition.empty() ? refusal.text : refusal.condition;
    throw ECalDAVUnavailable(server_ + ": PROPFIND " + PathKey(url) + " answered with the status " +
                             std::to_string(answer.status) + (why.empty() ? "" : " (" + why + ")"));
  }

  const DiscoveryRequest& request_;
  const HttpSettings& settings_;
  const std::string server_;
};

std::string NamesOf(const std::vector<CalendarOffer>& calendars) {
  std::string names;
  for (const CalendarOffer& offer : calendars) {
    if (!names.empty()) names += ", ";
    names += "\"" + (offer.display_name.empty() ? LastSegment(offer.url) : offer.display_name) + "\"";
  }
  return names;
}

}  // namespace

bool IsCalendarNamed(const CalendarOffer& offer, const std::string& name) {
  return offer.display_name == name || LastSegment(offer.url) == name;
}

CalendarListing ListCalendars(const DiscoveryRequest& request, const HttpSettings& settings) {
  Finder finder(request, settings);
  return finder.List(finder.Locate());
}

CalendarOffer ChooseCalendar(const CalendarListing& listing, const std::string& calendar) {
  // The address names the collection itself.
  if (listing.home.empty() && !listing.calendars.empty()) return listing.calendars.front();
  const std::vector<CalendarOffer>& calendars = listing.calendars;
  const std::string server = ServerOf(listing.home);
  const std::string home = PathKey(listing.home);
  if (!calendar.empty()) {
    for (const CalendarOffer& offer : calendars)
      if (IsCalendarNamed(offer, calendar)) return offer;
    throw ECalDAVUnavailable(server + ": the calendar home " + home + " holds no calendar named \"" +
                             calendar + "\"" +
                             (calendars.empty() ? "" : " (there are " + NamesOf(calendars) + ")"));
  }
  for (const CalendarOffer& offer : calendars)
    if (offer.is_default && TakesEvents(offer)) return offer;
  for (const CalendarOffer& offer : calendars)
    if (TakesEvents(offer)) return offer;
  throw ECalDAVUnavailable(server + ": the calendar home " + home + " holds no calendar for events");
}

CalendarOffer FindCollection(const DiscoveryRequest& request, const std::string& calendar,
                             const HttpSettings& settings) {
  return ChooseCalendar(ListCalendars(request, settings), calendar);
}

}  // namespace qv::caldav
