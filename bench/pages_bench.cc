// What a calendar page costs by mailbox size and position: the list page and the detail page in
// mailboxes of 1,000 and 10,000 appointments (about 250 and 2,500 of them in the 365-day window), at
// positions 0 and 200 of both and 2,000 of the larger, and in a mailbox of 50,000 appointments all in
// the window at positions 0 and 40,000 (a page must cost the same wherever it is), each wrapped into
// the response.
// "Page" builds the page on a session that is logged on already; "Request" adds what every request
// does besides the password check: a new session, the logon, the current user and the owner's
// account field, and the logoff.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "config/settings_snapshot.h"
#include "exchange/calendar_pages.h"
#include "exchange/calendar_store_driver.h"
#include "exchange/deck_settings.h"
#include "exchange/messaging_library.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "platform/com/com.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "store/calendar_store.h"

namespace qv {
namespace {

constexpr int kMailboxSizes[] = {1000, 10000};
// A mailbox whose appointments all lie in the window, for the pages far into it.
constexpr int kFullWindowSize = 50000;
const platform::Sid kOwner = std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);

std::string TimeText(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[20];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", parts.year, parts.month, parts.day, parts.hour,
                parts.minute);
  return text;
}

std::string MailboxName(int64_t appointments) {
  return "box" + std::to_string(appointments);
}

// Half of the appointments in the eight years before today, half in the two years after (or all in the
// 360 days after today), with subjects, locations and texts of a few words.
std::string MakeCalendar(int appointments, bool all_in_window = false) {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Bench//EN\r\n";
  const TDateTime today = Date();
  for (int i = 0; i < appointments; ++i) {
    const bool past = !all_in_window && i % 2 == 0;
    const double span = all_in_window ? 360.0 : past ? 8 * 365.0 : 2 * 365.0;
    const double offset = all_in_window ? span * i / appointments : span * (i / 2) / (appointments / 2 + 1);
    const TDateTime start =
        std::floor(past ? today - span + offset : today + 1 + offset) + (8 + i % 10) / 24.0;
    text += "BEGIN:VEVENT\r\nUID:bench-" + std::to_string(i) + "\r\nDTSTART:" + TimeText(start) +
            "\r\nDTEND:" + TimeText(start + 1.0 / 24) + "\r\nSUMMARY:Appointment number " +
            std::to_string(i) + "\r\nLOCATION:Room " + std::to_string(i % 50) +
            "\r\nDESCRIPTION:Notes for appointment " + std::to_string(i) +
            ": agenda\\, minutes and the actions that came out of it\r\nEND:VEVENT\r\n";
  }
  return text + "END:VCALENDAR\r\n";
}

// A state directory of its own with the settings, the process-wide writers and the mailboxes, made once.
class BenchWorld {
 public:
  BenchWorld() : directory_(platform::CreateTemporaryDirectory("qvbench-")) {
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", directory_);
    platform::SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", std::string());
    config_.emplace();
    config_installed_.emplace(Config, *config_);
    event_log_.emplace();
    event_log_installed_.emplace(EventLog, *event_log_);
    trace_.emplace(directory_ + "/trace.txt", 0);
    trace_installed_.emplace(TraceWriter, *trace_);
    platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED);
    RegisterCalendarStoreDriver();
    CalendarStore store;
    for (const int size : kMailboxSizes) {
      store.AddMailbox(MailboxName(size), "Mailbox of " + std::to_string(size), kOwner);
      store.Import(MailboxName(size), MakeCalendar(size), false);
    }
    store.AddMailbox(MailboxName(kFullWindowSize), "Full window", kOwner);
    store.Import(MailboxName(kFullWindowSize), MakeCalendar(kFullWindowSize, true), false);
  }
  ~BenchWorld() {
    platform::CoUninitialize();
    trace_installed_.reset();
    trace_.reset();
    event_log_installed_.reset();
    event_log_.reset();
    config_installed_.reset();
    config_.reset();
    platform::DeleteTree(directory_);
  }

 private:
  std::string directory_;
  std::optional<TWCConfig> config_;
  std::optional<ProcessWide<TWCConfig>::Installation> config_installed_;
  std::optional<TWCEventLog> event_log_;
  std::optional<ProcessWide<TWCEventLog>::Installation> event_log_installed_;
  std::optional<TWCTraceWriter> trace_;
  std::optional<ProcessWide<TWCTraceWriter>::Installation> trace_installed_;
};

BenchWorld& World() {
  static BenchWorld world;
  return world;
}

std::string Profile(const std::string& mailbox) {
  return "127.0.0.1\r\n" + mailbox;
}

std::shared_ptr<cdo::Session> LoggedOnSession(const std::string& mailbox) {
  auto session = cdo::CreateSession();
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, Profile(mailbox));
  return session;
}

std::string Page(const std::shared_ptr<cdo::Session>& session, const std::string& mailbox, bool list,
                 int64_t position) {
  TWCCalendar calendar(session, mailbox, "secret", std::to_string(position), 1000);
  const std::string body = list ? calendar.GetAppointmentList() : calendar.GetAppointment();
  return DeckResponse(body);
}

void Measure(benchmark::State& state, bool list, bool whole_request) {
  World();
  const std::string mailbox = MailboxName(state.range(0));
  const int64_t position = state.range(1);
  auto session = LoggedOnSession(mailbox);
  if (Page(session, mailbox, list, position).find("no appointments") != std::string::npos) {
    state.SkipWithError("the window has no appointment at the position");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    if (whole_request) {
      auto request_session = cdo::CreateSession();
      request_session->Logon(std::nullopt, std::nullopt, false, true, 0, true, Profile(mailbox));
      auto user = request_session->CurrentUser();
      benchmark::DoNotOptimize(user->Name());
      benchmark::DoNotOptimize(user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value());
      bytes += Page(request_session, mailbox, list, position).size();
      request_session->Logoff();
    } else {
      bytes += Page(session, mailbox, list, position).size();
    }
  }
  state.counters["bytes"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}

void ListPage(benchmark::State& state) {
  Measure(state, true, false);
}
void DetailPage(benchmark::State& state) {
  Measure(state, false, false);
}
void ListRequest(benchmark::State& state) {
  Measure(state, true, true);
}
void DetailRequest(benchmark::State& state) {
  Measure(state, false, true);
}

// Mailbox size, position.
void SizesAndPositions(benchmark::internal::Benchmark* benchmark) {
  benchmark->Args({1000, 0})->Args({1000, 200})->Args({10000, 0})->Args({10000, 200})->Args({10000, 2000});
  benchmark->Args({kFullWindowSize, 0})->Args({kFullWindowSize, 40000});
  benchmark->ArgNames({"appointments", "position"})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(ListPage)->Apply(SizesAndPositions);
BENCHMARK(DetailPage)->Apply(SizesAndPositions);
BENCHMARK(ListRequest)->Apply(SizesAndPositions);
BENCHMARK(DetailRequest)->Apply(SizesAndPositions);

}  // namespace
}  // namespace qv
