// What a calendar page costs the store: open a session, log on, read the user and the owner's account
// field, filter the calendar to the next 365 days and read the first 10 appointments with all their
// properties. Mailboxes of 100, 10,000 and 100,000 appointments; the cost must not grow with the
// mailbox (the largest within 3 times the smallest).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/com.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "store/calendar_store.h"

namespace qv {
namespace {

const platform::Sid kOwner = std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);

std::string TimeText(TDateTime value) {
  const DateTimeParts parts = DecodeDateTime(value);
  char text[20];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", parts.year, parts.month, parts.day, parts.hour,
                parts.minute);
  return text;
}

// A calendar of `count` appointments: half of them in the eight years before today, half in the two
// years after, with a long event now and then, a weekly series and a yearly holiday.
std::string MakeCalendar(int count) {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Bench//EN\r\n";
  const TDateTime today = Date();
  const int singles = count - 1;  // the weekly series adds its own occurrences; count it once
  for (int i = 0; i < singles; ++i) {
    const bool past = i % 2 == 0;
    const double span = past ? 8 * 365.0 : 2 * 365.0;
    const double offset = span * (i / 2) / (singles / 2 + 1);
    const TDateTime start = std::floor(past ? today - span + offset : today + offset) + (8 + i % 10) / 24.0;
    const double length = i % 97 == 0 ? 3.0 : 1.0 / 24;
    text += "BEGIN:VEVENT\r\nUID:bench-" + std::to_string(i) + "\r\nDTSTART:" + TimeText(start) +
            "\r\nDTEND:" + TimeText(start + length) + "\r\nSUMMARY:Appointment " + std::to_string(i) +
            "\r\nLOCATION:Room " + std::to_string(i % 50) + "\r\nDESCRIPTION:Notes for appointment " +
            std::to_string(i) + "\r\nEND:VEVENT\r\n";
  }
  text += "BEGIN:VEVENT\r\nUID:bench-weekly\r\nDTSTART:" + TimeText(std::floor(today) - 700 + 0.4) +
          "\r\nDURATION:PT1H\r\nRRULE:FREQ=WEEKLY\r\nSUMMARY:Weekly\r\nEND:VEVENT\r\n";
  return text + "END:VCALENDAR\r\n";
}

// A state directory of its own with the three mailboxes, made once.
class BenchStore {
 public:
  BenchStore() : directory_(platform::CreateTemporaryDirectory("qvbench-")) {
    platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", directory_);
    platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED);
    RegisterCalendarStoreDriver();
    CalendarStore store;
    for (const int count : {100, 10000, 100000}) {
      const std::string name = "box" + std::to_string(count);
      store.AddMailbox(name, "Mailbox of " + std::to_string(count), kOwner);
      store.Import(name, MakeCalendar(count), false);
    }
  }
  ~BenchStore() {
    platform::CoUninitialize();
    platform::DeleteTree(directory_);
  }

 private:
  std::string directory_;
};

void OpenSessionAndReadFirstTen(benchmark::State& state) {
  static BenchStore store;
  const std::string profile = "127.0.0.1\r\nbox" + std::to_string(state.range(0));
  const TDateTime today = Date();
  size_t items = 0;
  for (auto _ : state) {
    auto session = cdo::CreateSession();
    session->Logon(std::nullopt, std::nullopt, false, true, 0, true, profile);
    auto user = session->CurrentUser();
    benchmark::DoNotOptimize(user->Name());
    benchmark::DoNotOptimize(user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value());
    auto messages = session->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
    messages->Filter()->SetField(cdo::CdoPR_START_DATE, today + 365);
    messages->Filter()->SetField(cdo::CdoPR_END_DATE, today);
    auto item = messages->GetFirst();
    for (int i = 0; i < 10 && item != nullptr; ++i, item = messages->GetNext()) {
      benchmark::DoNotOptimize(item->AllDayEvent());
      benchmark::DoNotOptimize(item->StartTime());
      benchmark::DoNotOptimize(item->EndTime());
      benchmark::DoNotOptimize(item->Subject());
      benchmark::DoNotOptimize(item->Location());
      benchmark::DoNotOptimize(item->Text());
      ++items;
    }
    session->Logoff();
  }
  state.counters["items"] =
      benchmark::Counter(static_cast<double>(items), benchmark::Counter::kAvgIterations);
}
BENCHMARK(OpenSessionAndReadFirstTen)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv
