// The messaging library over the calendar store: session creation, logon, the current user and its
// account field, the folder, and the collection's filter and cursor.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "store/calendar_fixture.h"

namespace qv::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Runs the call and returns the HRESULT of the automation error it raises (0 when it raises none).
template <typename Call>
platform::HRESULT OleErrorOf(Call call) {
  try {
    call();
  } catch (const EOleException& error) {
    return error.ErrorCode;
  }
  return 0;
}

// Whatever the environment says: the shipped program has no hook for its version.
TEST_F(CalendarTest, SessionReportsItsOwnVersion) {
  platform::SetEnvironmentVariable("QUORVANE_CDO_VERSION", std::string("1.1"));
  EXPECT_EQ(cdo::CreateSession()->Version(), "1.21");
  platform::SetEnvironmentVariable("QUORVANE_CDO_VERSION", std::nullopt);
}

TEST_F(CalendarTest, SessionCreationFailsLikeALibraryThatIsNotInstalled) {
  platform::CoRevokeClass(cdo::CLSID_Session);
  try {
    cdo::CreateSession();
    FAIL() << "no error raised";
  } catch (const EOleException& error) {
    EXPECT_EQ(error.ErrorCode, platform::REGDB_E_CLASSNOTREG);
    EXPECT_STREQ(error.ClassName(), "EOleException");
    EXPECT_THAT(error.what(), HasSubstr("{3FA7DEB3-6438-101B-ACC1-00AA00423326}"));
  }
}

TEST_F(CalendarTest, LogonNamesTheUserAndTheOwnersAccount) {
  auto session = cdo::CreateSession();
  EXPECT_EQ(session->CurrentUser()->Name(), "Unknown");  // nobody logged on yet
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, "127.0.0.1\r\nJDOE");
  auto user = session->CurrentUser();
  EXPECT_EQ(user->Name(), "John Doe");
  EXPECT_EQ(user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value(),
            "010500000000000515000000010000000200000003000000E9030000");
  EXPECT_EQ(OleErrorOf([&] { user->Fields(0x3001001E); }), cdo::MAPI_E_NOT_FOUND);
  session->Logoff();
  EXPECT_EQ(session->CurrentUser()->Name(), "Unknown");
  EXPECT_EQ(OleErrorOf([&] { session->GetDefaultFolder(cdo::CdoDefaultFolderCalendar); }),
            cdo::MAPI_E_NOT_INITIALIZED);
}

// The mailbox's own password check: nothing where the owner's account decides. Where the build reaches
// no CalDAV server, a bound mailbox's check is a server that cannot answer (the handler gives the error
// card and event 120), as a server that is down is where it does.
TEST_F(CalendarTest, OnlyABoundMailboxChecksItsOwnPassword) {
  EXPECT_FALSE(Logon("jdoe")->CheckMailboxPassword("secret").has_value());
#if !QV_CALDAV
  CalendarStore().AddCalDAVMailbox("anna", "Anna", {"https://cal.example.org/anna/", "anna", false});
  EXPECT_EQ(OleErrorOf([&] { Logon("anna")->CheckMailboxPassword("secret"); }), cdo::MAPI_E_NETWORK_ERROR);
#endif
}

TEST_F(CalendarTest, AnUnknownMailboxLogsOnAsUnknown) {
  auto session = Logon("nobody");
  EXPECT_EQ(session->CurrentUser()->Name(), "Unknown");
  EXPECT_EQ(session->CurrentUser()->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value(), "");
  EXPECT_EQ(OleErrorOf([&] { session->GetDefaultFolder(cdo::CdoDefaultFolderCalendar); }),
            cdo::MAPI_E_NOT_FOUND);
  EXPECT_EQ(Logon("")->CurrentUser()->Name(), "Unknown");
}

TEST_F(CalendarTest, NamesTravelInTheCodePageOfTheSystem) {
  store_->AddMailbox("m\xC3\xBCller", "J\xC3\xBCrgen M\xC3\xBCller \xE2\x82\xAC", kOwnerSid);
  // The phone's mailbox name arrives in Windows-1252.
  EXPECT_EQ(Logon("M\xFCLLER")->CurrentUser()->Name(), "J\xFCrgen M\xFCller \x80");
  EXPECT_EQ(Logon("M\xDCLLER")->CurrentUser()->Name(), "Unknown");  // case counts beyond ASCII
}

TEST_F(CalendarTest, LogonRefusesWhatTheStoreCannotServe) {
  auto logon = [](const std::optional<std::string>& name, const std::optional<std::string>& info) {
    return OleErrorOf([&] { cdo::CreateSession()->Logon(name, std::nullopt, false, true, 0, true, info); });
  };
  EXPECT_EQ(logon(std::nullopt, "mail.example.com\r\njdoe"), cdo::MAPI_E_NETWORK_ERROR);
  EXPECT_EQ(logon(std::nullopt, "127.0.0.1 jdoe"), cdo::MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(logon("Outlook", std::nullopt), cdo::MAPI_E_LOGON_FAILED);
  EXPECT_EQ(logon(std::nullopt, "localhost\njdoe"), 0);
  auto session = Logon("jdoe");
  EXPECT_EQ(OleErrorOf([&] {
              session->Logon(std::nullopt, std::nullopt, false, true, 0, true, "127.0.0.1\r\njdoe");
            }),
            cdo::MAPI_E_LOGON_FAILED);
  EXPECT_EQ(OleErrorOf([&] { session->GetDefaultFolder(1); }), cdo::MAPI_E_NO_SUPPORT);
  auto messages = session->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
  EXPECT_EQ(OleErrorOf([&] { messages->Filter()->SetField(0x0037001E, 1.0); }), cdo::MAPI_E_NO_SUPPORT);
}

TEST_F(CalendarTest, RequestThreadsUseTheProcesssApartment) {
  Import("BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T090000\r\nSUMMARY:Seen\r\nEND:VEVENT\r\n");
  std::vector<std::string> seen;
  std::thread request([&] { seen = Window(EncodeDate(2024, 3, 1), EncodeDate(2024, 3, 2)); });
  request.join();
  EXPECT_THAT(seen, ElementsAre("2024-03-01 09:00 -> 2024-03-01 09:00 Seen"));
}

// 40 appointments on 10 days, 4 a day; with an event that began before and lasts into the window.
class CursorTest : public CalendarTest {
 protected:
  void SetUp() override {
    CalendarTest::SetUp();
    std::string events =
        "BEGIN:VEVENT\r\nUID:trip\r\nDTSTART:20240228T080000\r\nDTEND:20240302T200000\r\n"
        "SUMMARY:Trip\r\nEND:VEVENT\r\n";
    for (int day = 1; day <= 10; ++day) {
      for (int hour = 9; hour <= 15; hour += 2) {
        char line[64];
        std::snprintf(line, sizeof line, "DTSTART:202403%02dT%02d0000\r\n", day, hour);
        events += "BEGIN:VEVENT\r\nUID:" + std::to_string(day * 100 + hour) + "\r\n" + line +
                  "SUMMARY:" + std::to_string(day * 100 + hour) + "\r\nEND:VEVENT\r\n";
      }
    }
    Import(events);
    messages_ = Messages("jdoe", EncodeDate(2024, 3, 1), EncodeDate(2024, 3, 11));
  }

  static std::string SubjectOf(const std::shared_ptr<cdo::AppointmentItem>& item) {
    return item == nullptr ? "(none)" : item->Subject();
  }

  std::shared_ptr<cdo::Messages> messages_;
};

TEST_F(CursorTest, WalksForwardAndBackPastEitherEnd) {
  std::vector<std::string> forward;
  for (auto item = messages_->GetFirst(); item != nullptr; item = messages_->GetNext())
    forward.push_back(item->Subject());
  ASSERT_EQ(forward.size(), 41u);
  EXPECT_EQ(forward[0], "Trip");
  EXPECT_EQ(forward[1], "109");
  EXPECT_EQ(forward[40], "1015");
  EXPECT_EQ(messages_->GetNext(), nullptr);  // stays past the end

  // Back from past the end: the last, then every one in reverse order, across page boundaries.
  std::vector<std::string> backward;
  for (auto item = messages_->GetPrevious(); item != nullptr; item = messages_->GetPrevious())
    backward.push_back(item->Subject());
  EXPECT_EQ(backward, std::vector<std::string>(forward.rbegin(), forward.rend()));
  EXPECT_EQ(messages_->GetPrevious(), nullptr);  // stays before the first
  EXPECT_EQ(SubjectOf(messages_->GetNext()), "Trip");
}

TEST_F(CursorTest, MovesBothWaysFromTheMiddle) {
  messages_->GetFirst();
  for (int i = 0; i < 20; ++i) messages_->GetNext();
  EXPECT_EQ(SubjectOf(messages_->GetPrevious()), "513");  // index 19
  EXPECT_EQ(SubjectOf(messages_->GetNext()), "515");
  EXPECT_EQ(SubjectOf(messages_->GetNext()), "609");
  // GetFirst starts again whatever came before.
  EXPECT_EQ(SubjectOf(messages_->GetFirst()), "Trip");
  EXPECT_EQ(SubjectOf(messages_->GetPrevious()), "(none)");
}

TEST_F(CursorTest, ANewFilterStartsTheCursorAgain) {
  messages_->GetFirst();
  messages_->GetNext();
  messages_->Filter()->SetField(cdo::CdoPR_END_DATE, EncodeDate(2024, 3, 5));
  EXPECT_EQ(SubjectOf(messages_->GetNext()), "509");  // the trip has ended by then
  messages_->Filter()->SetField(cdo::CdoPR_START_DATE, EncodeDate(2024, 3, 5));
  EXPECT_EQ(SubjectOf(messages_->GetFirst()), "(none)");
  // Without a filter the collection holds everything.
  auto all = Logon("jdoe")->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
  size_t count = 0;
  for (auto item = all->GetFirst(); item != nullptr; item = all->GetNext()) ++count;
  EXPECT_EQ(count, 41u);
}

TEST_F(CalendarTest, OpenEndedSeriesGoOnAsTheWindowMovesOn) {
  const ImportReport report = Import(
      "BEGIN:VEVENT\r\nUID:weekly\r\nDTSTART:20240304T100000\r\nDTEND:20240304T110000\r\n"
      "RRULE:FREQ=WEEKLY\r\nSUMMARY:Jour fixe\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:weekly\r\nRECURRENCE-ID:20310106T100000\r\nDTSTART:20310107T100000\r\n"
      "DTEND:20310107T110000\r\nSUMMARY:Jour fixe (Tuesday)\r\nEND:VEVENT\r\n");
  const TDateTime horizon = report.horizon;
  ASSERT_GT(horizon, Date() + 365);
  // A week-long window moving day by day across the horizon holds one meeting each time.
  for (int day = -10; day < 10; ++day) {
    const auto items = Window(horizon + day, horizon + day + 7);
    EXPECT_EQ(items.size(), 1u) << "window from day " << day;
  }
  // Far beyond: every Monday, once, and the moved instance where it was moved to.
  const auto later = Window(EncodeDate(2030, 12, 30), EncodeDate(2031, 1, 21));
  EXPECT_THAT(later, ElementsAre("2030-12-30 10:00 -> 2030-12-30 11:00 Jour fixe",
                                 "2031-01-07 10:00 -> 2031-01-07 11:00 Jour fixe (Tuesday)",
                                 "2031-01-13 10:00 -> 2031-01-13 11:00 Jour fixe",
                                 "2031-01-20 10:00 -> 2031-01-20 11:00 Jour fixe"));
  EXPECT_EQ(Window(EncodeDate(2030, 12, 30), EncodeDate(2031, 1, 21)), later);
  // Series are kept up to ten years ahead; a filter asking further does not make them grow without end.
  EXPECT_EQ(Window(Date() + 3653 + 400, Date() + 3653 + 407).size(), 0u);
  EXPECT_EQ(Window(Date() + 3653, Date() + 3653 + 7).size(), 1u);
}

TEST_F(CalendarTest, SessionsOnSeveralThreadsExtendASeriesOnce) {
  Import(
      "BEGIN:VEVENT\r\nUID:daily\r\nDTSTART;TZID=Europe/London:20240301T073000\r\nRRULE:FREQ=DAILY\r\n"
      "SUMMARY:Standup\r\nEND:VEVENT\r\n");
  const TDateTime from = Date() + 2000;
  std::vector<std::vector<std::string>> seen(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = Window(from, from + 30); });
  for (std::thread& thread : threads) thread.join();
  for (const auto& items : seen) {
    EXPECT_EQ(items.size(), 30u);
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()).size(), 30u);
    for (const std::string& item : items)
      EXPECT_EQ(item.substr(10, 10), " 08:30 -> ") << item;  // London + 1 hour
  }
}

}  // namespace
}  // namespace qv::testing
