// Shared by the page and request-handler suites: the process-wide objects made from the settings the
// pages are checked with (dates as dd.mm.yyyy, times as hh:nn, full trace) in a fresh state directory,
// the calendar store as the messaging library, and helpers to make accounts, mailboxes and
// appointments at fixed distances from today.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/request_handler.h"
#include "platform/accounts/local_accounts.h"
#include "store/calendar_fixture.h"
#include "store/calendar_store.h"
#include "testing/event_log_testing.h"
#include "testing/file_texts.h"
#include "testing/platform_checks.h"
#include "testing/process_objects_fixture.h"

namespace qv::testing {

// "dd.mm.yyyy" of a day, written here without the pattern formatter.
inline std::string DayText(TDateTime day) {
  const DateTimeParts parts = DecodeDateTime(day);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", parts.day, parts.month, parts.year);
  return text;
}

// An iCalendar local (floating) time: 20261208T093000.
inline std::string IcalTime(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[20];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", parts.year, parts.month, parts.day, parts.hour,
                parts.minute);
  return text;
}

inline std::string IcalDate(TDateTime value) {
  return IcalTime(value).substr(0, 8);
}

// One VEVENT; texts are written as iCalendar TEXT values (backslash, comma and semicolon escaped).
inline std::string IcalEvent(const std::string& uid, TDateTime start, TDateTime end,
                             const std::string& subject, const std::string& location = "",
                             const std::string& text = "") {
  auto value = [](const std::string& raw) {
    std::string escaped;
    for (const char c : raw) {
      if (c == '\\' || c == ',' || c == ';') escaped += '\\';
      escaped += c;
    }
    return escaped;
  };
  std::string event = "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:" + IcalTime(start) +
                      "\r\nDTEND:" + IcalTime(end) + "\r\nSUMMARY:" + value(subject) + "\r\n";
  if (!location.empty()) event += "LOCATION:" + value(location) + "\r\n";
  if (!text.empty()) event += "DESCRIPTION:" + value(text) + "\r\n";
  return event + "END:VEVENT\r\n";
}

inline std::string IcalAllDayEvent(const std::string& uid, TDateTime day, const std::string& subject) {
  return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART;VALUE=DATE:" + IcalDate(day) +
         "\r\nDTEND;VALUE=DATE:" + IcalDate(day + 1) + "\r\nSUMMARY:" + subject + "\r\nEND:VEVENT\r\n";
}

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kCentralEuropeanTime);
    objects_.emplace(
        std::vector<Setting>{{"DateFormat", "dd.mm.yyyy"}, {"TimeFormat", "hh:nn"}, {"TraceDetailness", 3u}});
    trace_path_ = ProcessObjectsFixture::TraceFile();
    store_.emplace();
    today_ = Date();
  }

  // The process-wide objects made again with a fresh trace file written at the given detail.
  void StartTrace(uint32_t detail) {
    trace_path_ = objects_->File("trace" + std::to_string(++trace_files_) + ".txt");
    ProcessObjectsFixture::Set({"TraceFile", trace_path_});
    ProcessObjectsFixture::Set({"TraceDetailness", detail});
    objects_->Restart();
  }

  // Ends the process-wide objects (the trace writer writes what it was sent first) and returns the
  // trace file's text.
  std::string StopTrace() {
    objects_->End();
    return FileText(trace_path_);
  }

  // Whether the trace holds an entry of exactly this text (entries are the stamp, a blank, the text
  // and CR LF).
  static bool HasTraceEntry(const std::string& trace, const std::string& text) {
    return trace.find(" " + text + "\r\n") != std::string::npos;
  }

  // A local account; its SID.
  static platform::Sid AddAccount(const std::string& name, const std::string& password) {
    EXPECT_TRUE(platform::NetUserAdd(name, password));
    platform::LocalAccount account;
    EXPECT_TRUE(platform::NetUserGetInfo(name, &account));
    return account.UserSid;
  }

  void Import(const std::string& mailbox, const std::string& events) {
    store_->Import(mailbox, Calendar(events), false);
  }

  // The response of a request handler without a request thread.
  static std::string Respond(const std::string& mailbox, const std::string& password, const std::string& kind,
                             const std::string& position, int32_t max_pdu = 1000) {
    TWCExchange handler(nullptr);
    handler.Mailbox = mailbox;
    handler.Password = password;
    handler.PageKind = kind;
    handler.Position = position;
    handler.MaxPdu = max_pdu;
    return handler.GetResponse();
  }

  std::optional<ProcessObjectsFixture> objects_;
  std::string trace_path_;
  int trace_files_ = 0;
  std::optional<CalendarStore> store_;
  TDateTime today_ = 0;
};

// The request handler's world: the mailbox "jdoe" (John Doe) owned by the local account jdoe with the
// password "secret", and a team meeting in Room 4 tomorrow. Wine keeps no account: skipped there.
class OwnedMailboxTest : public PagesTest {
 protected:
  void SetUp() override {
    QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
    PagesTest::SetUp();
    owner_ = AddAccount("jdoe", "secret");
    store_->AddMailbox("jdoe", "John Doe", owner_);
    Import("jdoe", IcalEvent("a", today_ + 1 + 9 / 24.0, today_ + 1 + 10 / 24.0, "Team meeting", "Room 4"));
  }

  platform::Sid owner_;
};

}  // namespace qv::testing
