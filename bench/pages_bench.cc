// What a calendar page costs: the list page and the detail page at positions 0 and 500 of a mailbox
// of 10,000 appointments (about 2,500 of them in the 365-day window), each wrapped into the response.
// "Page" builds the page on a session that is logged on already; "Request" adds what every request
// does besides the password check: a new session, the logon, the current user and the owner's
// account field, and the logoff.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "config/wc_config.h"
#include "exchange/calendar_store.h"
#include "exchange/calendar_store_driver.h"
#include "exchange/mapi_tlb.h"
#include "exchange/response_envelope.h"
#include "exchange/wc_calendar.h"
#include "logging/wc_event_log.h"
#include "logging/wc_trace_writer.h"
#include "platform/com.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace qv {
namespace {

constexpr int kAppointments = 10000;
const platform::Sid kOwner = std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
const std::string kProfile = "127.0.0.1\r\nbox";

std::string TimeText(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[20];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", parts.year, parts.month, parts.day, parts.hour,
                parts.minute);
  return text;
}

// Half of the appointments in the eight years before today, half in the two years after, with
// subjects, locations and texts of a few words.
std::string MakeCalendar() {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Bench//EN\r\n";
  const TDateTime today = Date();
  for (int i = 0; i < kAppointments; ++i) {
    const bool past = i % 2 == 0;
    const double span = past ? 8 * 365.0 : 2 * 365.0;
    const double offset = span * (i / 2) / (kAppointments / 2 + 1);
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

// A state directory of its own with the settings, the process-wide writers and the mailbox, made once.
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
    store.AddMailbox("box", "Mailbox of 10,000", kOwner);
    store.Import("box", MakeCalendar(), false);
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

std::shared_ptr<cdo::Session> LoggedOnSession() {
  auto session = cdo::CreateSession();
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, kProfile);
  return session;
}

std::string Page(const std::shared_ptr<cdo::Session>& session, bool list, int64_t position) {
  TWCCalendar calendar(session, "box", "secret", std::to_string(position), 1000);
  const std::string body = list ? calendar.GetAppointmentList() : calendar.GetAppointment();
  return BuildResponse(Config->CharSet, Config->DeckHeader, body);
}

void Measure(benchmark::State& state, bool list, bool whole_request) {
  World();
  const int64_t position = state.range(0);
  auto session = LoggedOnSession();
  if (Page(session, list, position).find("no appointments") != std::string::npos) {
    state.SkipWithError("the window has no appointment at the position");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    if (whole_request) {
      auto request_session = cdo::CreateSession();
      request_session->Logon(std::nullopt, std::nullopt, false, true, 0, true, kProfile);
      auto user = request_session->CurrentUser();
      benchmark::DoNotOptimize(user->Name());
      benchmark::DoNotOptimize(user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value());
      bytes += Page(request_session, list, position).size();
      request_session->Logoff();
    } else {
      bytes += Page(session, list, position).size();
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

BENCHMARK(ListPage)->Arg(0)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailPage)->Arg(0)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(ListRequest)->Arg(0)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailRequest)->Arg(0)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv
