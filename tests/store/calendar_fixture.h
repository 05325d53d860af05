// Shared by the calendar store suites: a fresh state directory with the store's driver registered
// and one mailbox, calendars imported from text, and windows read back through the library.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/com.h"
#include "platform/process/environment.h"
#include "store/calendar_store.h"
#include "testing/test_state_dir.h"

namespace qv::testing {

// The server's local time for these suites: Central European time, which has daylight saving time on
// other dates than North America. Set before main, before any local-time conversion has run. (Windows
// takes the zone from the system instead; under Wine the suite is started with this TZ.)
inline const bool kCentralEuropeanTime = [] {
  platform::SetEnvironmentVariable("TZ", std::string("CET-1CEST,M3.5.0,M10.5.0/3"));
  return true;
}();

// The owner of the test mailbox: S-1-5-21-1-2-3-1001.
inline const platform::Sid kOwnerSid = std::string(
    "\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00\xE9\x03"
    "\x00\x00",
    28);

inline std::string Calendar(const std::string& body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

inline std::string TimeText(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", parts.year, parts.month, parts.day, parts.hour,
                parts.minute);
  return text;
}

// "2024-03-04 10:00 -> 2024-03-04 11:00 Team meeting", "2024-04-01 all day -> 2024-04-02 00:00 Easter".
inline std::string Describe(cdo::AppointmentItem& item) {
  std::string start = TimeText(item.StartTime());
  if (item.AllDayEvent()) start = start.substr(0, 10) + " all day";
  return start + " -> " + TimeText(item.EndTime()) + " " + item.Subject();
}

class CalendarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kCentralEuropeanTime);
    ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
    RegisterCalendarStoreDriver();
    store_ = std::make_unique<CalendarStore>();
    store_->AddMailbox("jdoe", "John Doe", kOwnerSid);
  }
  void TearDown() override {
    store_.reset();
    platform::CoUninitialize();
  }

  ImportReport Import(const std::string& events, const std::string& mailbox = "jdoe") {
    return store_->Import(mailbox, Calendar(events), false);
  }

  static std::shared_ptr<cdo::Session> Logon(const std::string& mailbox) {
    auto session = cdo::CreateSession();
    session->Logon(std::nullopt, std::nullopt, false, true, 0, true, "127.0.0.1\r\n" + mailbox);
    return session;
  }

  // The collection of a mailbox's calendar filtered to [from, to).
  static std::shared_ptr<cdo::Messages> Messages(const std::string& mailbox, TDateTime from, TDateTime to) {
    auto messages = Logon(mailbox)->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
    messages->Filter()->SetField(cdo::CdoPR_START_DATE, to);
    messages->Filter()->SetField(cdo::CdoPR_END_DATE, from);
    return messages;
  }

  // Every item of the window, walked with GetFirst and GetNext.
  static std::vector<std::string> Window(TDateTime from, TDateTime to, const std::string& mailbox = "jdoe") {
    auto messages = Messages(mailbox, from, to);
    std::vector<std::string> items;
    for (auto item = messages->GetFirst(); item != nullptr; item = messages->GetNext())
      items.push_back(Describe(*item));
    return items;
  }

  TestStateDir state_dir_;
  std::unique_ptr<CalendarStore> store_;
};

}  // namespace qv::testing
