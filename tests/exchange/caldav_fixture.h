// Shared by the suites of mailboxes whose calendars come from CalDAV servers: the pages fixture with
// the CalDAV settings the test chooses, a mailbox bound to a URL, a phone's page of it, and the
// pieces of the calendars and answers the servers give.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/service_decks.h"
#include "exchange/pages_fixture.h"
#include "testing/caldav_server.h"
#include "testing/fake_caldav_server.h"

namespace qv::testing {

inline const std::string& ErrorCardResponse() {
  static const std::string card =
      "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n" + ServiceDeck(kErrorCardBody);
  return card;
}

// A calendar resource of one event at a floating time.
inline std::string OneEventCalendar(const std::string& uid, TDateTime start, const std::string& subject) {
  return ClientCalendar::Wrap(IcalEvent(uid, start, start + 1 / 24.0, subject));
}

class CalDAVLogonTest : public PagesTest {
 protected:
  void SetUp() override {
    PagesTest::SetUp();
    Configure(0, 2000, 10000);
  }

  void Configure(uint32_t refresh_seconds, uint32_t connect_ms, uint32_t read_ms) {
    ProcessObjectsFixture::Set({"CalDAVRefreshSeconds", refresh_seconds});
    ProcessObjectsFixture::Set({"CalDAVConnectTimeOut", connect_ms});
    ProcessObjectsFixture::Set({"CalDAVReadTimeOut", read_ms});
    objects_->Restart();
  }

  void Bind(const std::string& url, const std::string& calendar = "") {
    CalDAVBinding binding{url, kCalDAVUser, false};
    binding.calendar = calendar;
    store_->AddCalDAVMailbox("jdoe", "John Doe", binding);
  }

  static std::string Page(const std::string& kind, int position,
                          const std::string& password = kCalDAVPassword,
                          const std::string& mailbox = "jdoe") {
    return Respond(mailbox, password, kind, std::to_string(position));
  }

  // The stored sync token of the one mailbox; "(none)" when there is none.
  std::string StoredSyncToken() {
    auto token = store_->Database().Prepare("SELECT caldav_sync_token FROM mailboxes");
    if (!token.Step() || token.IsNull(0)) return "(none)";
    return token.ColumnText(0);
  }
};

// A collection at `path` of the fake server with one member, `member` (a path), whose calendar data
// is `data`: it describes itself to a PROPFIND of Depth 0, lists the member with its ETag to one of
// Depth 1 and gives its data to calendar-multiget. sync-collection is left to the test.
inline void ServeCollection(FakeCalDAVServer& server, const std::string& path, const std::string& member,
                            const std::string& data) {
  server.On("PROPFIND", path, 207, DavMultistatus(DavResponse(path, CalendarProperties("Calendar"))),
            {"Depth: 0"});
  server.On("PROPFIND", path, 207,
            DavMultistatus(DavResponse(path, CalendarProperties("Calendar")) +
                           DavResponse(member, "<d:getetag>\"1\"</d:getetag><d:resourcetype/>")),
            {"Depth: 1"});
  server.On("REPORT", path, 207,
            DavMultistatus(DavResponse(
                member, "<d:getetag>\"1\"</d:getetag><c:calendar-data>" + data + "</c:calendar-data>")),
            {"calendar-multiget"});
}

}  // namespace qv::testing
