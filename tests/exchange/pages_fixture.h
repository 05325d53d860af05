// Shared by the page and request-handler suites: a fresh state directory with the settings the
// pages are checked with (dates as dd.mm.yyyy, times as hh:nn), the process-wide settings snapshot,
// event log and trace writer installed, the calendar store's driver registered, and helpers to make
// accounts, mailboxes and appointments at fixed distances from today.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/wc_config.h"
#include "exchange/calendar_fixture.h"
#include "exchange/calendar_store.h"
#include "exchange/calendar_store_driver.h"
#include "exchange/wc_exchange.h"
#include "logging/wc_event_log.h"
#include "logging/wc_trace_writer.h"
#include "platform/com.h"
#include "platform/file_system.h"
#include "platform/local_accounts.h"
#include "platform/registry.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"

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
  static constexpr const char* kSettingsKey = "Software\\HOLLBERG\\Qvan";

  void SetUp() override {
    ASSERT_TRUE(kCentralEuropeanTime);
    SetSetting("DateFormat", "dd.mm.yyyy");
    SetSetting("TimeFormat", "hh:nn");
    config_.emplace();
    config_installed_.emplace(Config, *config_);
    event_log_.emplace();
    event_log_installed_.emplace(EventLog, *event_log_);
    StartTrace(3);
    ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
    RegisterCalendarStoreDriver();
    store_.emplace();
    today_ = Date();
  }

  void TearDown() override {
    StopTrace();
    store_.reset();
    platform::CoUninitialize();
    event_log_installed_.reset();
    event_log_.reset();
    config_installed_.reset();
    config_.reset();
  }

  static void SetSetting(const std::string& name, const std::string& text) {
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKeyEx(platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0,
                                       platform::KEY_ALL_ACCESS, key.Receive(), nullptr),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(platform::RegSetValueEx(key.Get(), name, platform::REG_SZ, text + '\0'),
              platform::ERROR_SUCCESS);
  }

  // A fresh trace file written at the given detail.
  void StartTrace(int detail) {
    StopTrace();
    trace_path_ = state_dir_.File("trace" + std::to_string(++trace_files_) + ".txt");
    trace_.emplace(trace_path_, detail);
    trace_installed_.emplace(TraceWriter, *trace_);
  }

  // Stops the trace writer (which writes what it was sent first) and returns the file's text.
  std::string StopTrace() {
    if (!trace_) return std::string();
    trace_installed_.reset();
    trace_.reset();
    std::string text;
    platform::ReadWholeFile(trace_path_, &text);
    return text;
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

  static std::vector<platform::EventLogRecord> EventsWithId(uint32_t id) {
    std::vector<platform::EventLogRecord> found;
    for (auto& event : ReadAllEvents()) {
      if (event.EventID == id) found.push_back(std::move(event));
    }
    return found;
  }

  EventLogTestDir state_dir_;
  std::optional<TWCConfig> config_;
  std::optional<ProcessWide<TWCConfig>::Installation> config_installed_;
  std::optional<TWCEventLog> event_log_;
  std::optional<ProcessWide<TWCEventLog>::Installation> event_log_installed_;
  std::optional<TWCTraceWriter> trace_;
  std::optional<ProcessWide<TWCTraceWriter>::Installation> trace_installed_;
  std::string trace_path_;
  int trace_files_ = 0;
  std::optional<CalendarStore> store_;
  TDateTime today_ = 0;
};

}  // namespace qv::testing
