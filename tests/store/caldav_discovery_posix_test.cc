// Finding the collection behind an address: on Radicale and Xandikos from the server's root, the
// principal and the home, and a calendar picked by name; against the tests' own server what the real
// ones never answer: a home of several calendars with and without a default, a principal without a
// home, a well-known place that refuses, hrefs of another server, and a refused password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/caldav/collection_client.h"
#include "store/caldav/discovery.h"
#include "testing/caldav_server.h"
#include "testing/fake_caldav_server.h"

namespace qv::caldav {
namespace {

using testing::CalDAVServer;
using testing::CalDAVServerKind;
using testing::FakeCalDAVServer;
using ::testing::HasSubstr;

const HttpSettings kSettings{2000, 10000, ""};

DiscoveryRequest AsJdoe(const std::string& url, const std::string& password = testing::kCalDAVPassword) {
  return {url, testing::kCalDAVUser, password, false};
}

// The message of the ECalDAVUnavailable the action raises; empty when it raises none.
template <typename Action>
std::string UnavailableMessage(Action action) {
  try {
    action();
  } catch (const ECalDAVUnavailable& error) {
    return error.what();
  }
  return std::string();
}

class RealServerDiscoveryTest : public ::testing::TestWithParam<CalDAVServerKind> {};

TEST_P(RealServerDiscoveryTest, TheCollectionIsFoundFromTheRootThePrincipalAndTheHome) {
  const CalDAVServer server(GetParam());
  const bool radicale = GetParam() == CalDAVServerKind::kRadicale;
  const std::string principal = radicale ? "/jdoe/" : "/user/";
  const std::string home = radicale ? "/jdoe/" : "/user/calendars/";
  for (const std::string& path :
       {std::string("/"), principal, home, server.CollectionUrl().substr(server.Url("").size())}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FindCollection(AsJdoe(server.Url(path)), "", kSettings).url, server.CollectionUrl());
  }
  const CalendarListing listing = ListCalendars(AsJdoe(server.Url("/")), kSettings);
  EXPECT_EQ(listing.home, server.Url(home));
  ASSERT_EQ(listing.calendars.size(), 1u);
  EXPECT_EQ(listing.calendars[0].url, server.CollectionUrl());
  EXPECT_THAT(listing.calendars[0].components, ::testing::Contains("VEVENT"));

  // A second calendar, picked by the last segment of its path; an unknown name is told with those
  // there are.
  ASSERT_EQ(server.Send("MKCALENDAR", home + "work/", "").status, 201);
  EXPECT_EQ(FindCollection(AsJdoe(server.Url("/")), "work", kSettings).url, server.Url(home + "work/"));
  EXPECT_EQ(FindCollection(AsJdoe(server.Url("/")), "calendar", kSettings).url, server.CollectionUrl());
  EXPECT_THAT(UnavailableMessage([&] { FindCollection(AsJdoe(server.Url("/")), "holidays", kSettings); }),
              HasSubstr(": the calendar home " + home.substr(0, home.size() - 1) +
                        " holds no calendar named \"holidays\" (there are "));
  if (radicale) {
    EXPECT_THROW(FindCollection(AsJdoe(server.Url("/"), "wrong"), "", kSettings), ECalDAVLogonRefused);
  }
}

INSTANTIATE_TEST_SUITE_P(RealServers, RealServerDiscoveryTest,
                         ::testing::Values(CalDAVServerKind::kRadicale, CalDAVServerKind::kXandikos),
                         [](const auto& server) { return testing::ServerName(server.param); });

// The fake server's principal /p/ with its home /home/, found from the root.
class FakeDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.On("PROPFIND", "/", 207,
               testing::DavMultistatus(testing::DavResponse(
                   "/",
                   "<d:resourcetype><d:collection/></d:resourcetype>"
                   "<d:current-user-principal><d:href>/p/</d:href></d:current-user-principal>")));
  }
  void Principal(const std::string& properties) {
    server_.On("PROPFIND", "/p/", 207,
               testing::DavMultistatus(testing::DavResponse(
                   "/p/", "<d:resourcetype><d:principal/></d:resourcetype>" + properties)));
  }
  void Home(const std::string& calendars) {
    server_.On(
        "PROPFIND", "/home/", 207,
        testing::DavMultistatus(
            testing::DavResponse("/home/", "<d:resourcetype><d:collection/></d:resourcetype>") + calendars),
        {"Depth: 1"});
  }
  DiscoveryRequest Root() const { return AsJdoe(server_.Url("/")); }

  FakeCalDAVServer server_;
};

const std::string kHomeSet = "<c:calendar-home-set><d:href>/home/</d:href></c:calendar-home-set>";

TEST_F(FakeDiscoveryTest, AHomeOfSeveralCalendarsGivesTheDefaultElseTheFirstThatTakesEvents) {
  Principal(kHomeSet + "<c:schedule-inbox-URL><d:href>/inbox/</d:href></c:schedule-inbox-URL>");
  // "/home/a/" comes first but takes tasks only; the server lists them in no order.
  Home(testing::DavResponse("/home/c/", testing::CalendarProperties("Cooking")) +
       testing::DavResponse("/home/a/", testing::CalendarProperties("Chores", "<c:comp name=\"VTODO\"/>")) +
       testing::DavResponse("/home/b%20x/", testing::CalendarProperties("Work")) +
       testing::DavResponse("/home/notes/", "<d:resourcetype><d:collection/></d:resourcetype>"));
  // No default: the inbox tells none.
  EXPECT_EQ(FindCollection(Root(), "", kSettings).url, server_.Url("/home/b%20x/"));
  const CalendarListing listing = ListCalendars(Root(), kSettings);
  ASSERT_EQ(listing.calendars.size(), 3u);
  EXPECT_EQ(listing.calendars[0].url, server_.Url("/home/a/"));
  EXPECT_EQ(listing.calendars[1].display_name, "Work");
  EXPECT_FALSE(listing.calendars[2].is_default);
  // By display name, or by the last segment of the path, decoded.
  EXPECT_EQ(FindCollection(Root(), "Cooking", kSettings).url, server_.Url("/home/c/"));
  EXPECT_EQ(FindCollection(Root(), "b x", kSettings).url, server_.Url("/home/b%20x/"));

  // The inbox names the default.
  server_.On("PROPFIND", "/inbox/", 207,
             testing::DavMultistatus(
                 testing::DavResponse("/inbox/",
                                      "<c:schedule-default-calendar-URL><d:href>/home/c/</d:href>"
                                      "</c:schedule-default-calendar-URL>")));
  EXPECT_EQ(FindCollection(Root(), "", kSettings).url, server_.Url("/home/c/"));
  EXPECT_TRUE(ListCalendars(Root(), kSettings).calendars[2].is_default);
  EXPECT_EQ(FindCollection(Root(), "Work", kSettings).url, server_.Url("/home/b%20x/"));

  // Every request went as the user, and the discovery went no further than it had to.
  for (const std::string& request : server_.Received())
    EXPECT_THAT(request, HasSubstr("\r\nAuthorization: Basic "));
}

TEST_F(FakeDiscoveryTest, APrincipalWithoutAHomeOrAHomeWithoutCalendarsForEventsIsTold) {
  Principal("");
  EXPECT_EQ(UnavailableMessage([&] { FindCollection(Root(), "", kSettings); }),
            server_.Server() + ": the principal /p names no calendar home");
  Principal(kHomeSet);
  Home(testing::DavResponse("/home/t/", testing::CalendarProperties("Tasks", "<c:comp name=\"VTODO\"/>")));
  EXPECT_EQ(UnavailableMessage([&] { FindCollection(Root(), "", kSettings); }),
            server_.Server() + ": the calendar home /home holds no calendar for events");
  // What is neither a calendar, a principal nor a home.
  server_.On("PROPFIND", "/file.ics", 207, testing::DavMultistatus(testing::DavResponse("/file.ics", "")));
  EXPECT_EQ(UnavailableMessage([&] { FindCollection(AsJdoe(server_.Url("/file.ics")), "", kSettings); }),
            server_.Server() + ": /file.ics is no calendar, principal or calendar home");
}

TEST_F(FakeDiscoveryTest, AWellKnownPlaceThatRefusesOrLeadsNowhereFallsBackToTheRoot) {
  Principal(kHomeSet);
  Home(testing::DavResponse("/home/w/", testing::CalendarProperties("Work")));
  server_.Redirect("PROPFIND", "/.well-known/caldav", "/dav/");
  server_.On("PROPFIND", "/dav/", 403, "Access to the requested resource forbidden.");
  EXPECT_EQ(FindCollection(Root(), "", kSettings).url, server_.Url("/home/w/"));
  EXPECT_EQ(server_.Count("PROPFIND", "/dav/"), 1u);
  // Where it leads somewhere, the root is not asked.
  server_.On("PROPFIND", "/dav/", 207,
             testing::DavMultistatus(testing::DavResponse(
                 "/dav/", "<d:current-user-principal><d:href>/p/</d:href></d:current-user-principal>")));
  const size_t asked = server_.Count("PROPFIND", "/");
  EXPECT_EQ(FindCollection(Root(), "", kSettings).url, server_.Url("/home/w/"));
  EXPECT_EQ(server_.Count("PROPFIND", "/"), asked);
}

TEST_F(FakeDiscoveryTest, HrefsOfAnotherServerAreNotFollowedAndARefusedPasswordIsTold) {
  Principal("<c:calendar-home-set><d:href>http://192.0.2.7/home/</d:href></c:calendar-home-set>");
  EXPECT_EQ(UnavailableMessage([&] { FindCollection(Root(), "", kSettings); }),
            server_.Server() +
                ": discovery leads to another server, http://192.0.2.7:80; give that server's address");
  server_.On("PROPFIND", "/p/", 401, "");
  EXPECT_THROW(FindCollection(Root(), "", kSettings), ECalDAVLogonRefused);
  // A 403 for the privileges the user lacks is a refusal of the user as well; one in words is not.
  server_.On("PROPFIND", "/p/", 403, testing::DavError("d:need-privileges"));
  EXPECT_THROW(FindCollection(Root(), "", kSettings), ECalDAVLogonRefused);
  server_.On("PROPFIND", "/p/", 403, "Not yours.");
  EXPECT_EQ(UnavailableMessage([&] { FindCollection(Root(), "", kSettings); }),
            server_.Server() + ": PROPFIND /p answered with the status 403 (Not yours.)");
}

}  // namespace
}  // namespace qv::caldav
