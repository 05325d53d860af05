// What the trace and request-log writers do with a file name others could abuse: a FIFO or a device is
// refused at once (the writer never waits for a reader), so is a symbolic link in a directory others
// may write to, and a file its group or others could read is made its owner's alone, with a trace
// line. The FIFO comes from the system's mkfifo program.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "logging/request_log.h"
#include "logging/trace_writer.h"
#include "platform/clock/clock.h"
#include "platform/errors/win_error.h"
#include "platform/process/process.h"
#include "support/win_error_text.h"
#include "testing/file_texts.h"
#include "testing/message_pump.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using qv::testing::FileText;

constexpr fs::perms kOwnerReadWrite = fs::perms::owner_read | fs::perms::owner_write;

// Traces one line into the path; the error report that came back (empty when the line was written,
// which written tells), the writer gone, and how long it all took in *elapsed_ms.
std::string TraceOnce(const std::string& path, const std::function<bool()>& written, uint32_t* elapsed_ms) {
  std::string report;
  const uint32_t start = platform::GetTickCount();
  {
    TWCTraceWriter writer(path, 3);
    writer.OnError = [&report](TThreadedFileWriter&, const std::string& message, const std::string&) {
      report = message;
    };
    writer.Trace("line", 3);
    qv::testing::PumpMessagesUntil([&] { return !report.empty() || written(); }, 20000);
  }
  *elapsed_ms = platform::GetTickCount() - start;
  return report;
}

std::string CannotOpen(const std::string& path, uint32_t code) {
  return "Cannot open trace file \"" + path + "\". LastError: " + std::to_string(code) + " (" +
         GetWinErrorText(static_cast<int32_t>(code)) + ")";
}

TEST(LogFiles, FifosDevicesAndLinksWhereOthersMayWriteAreRefusedAtOnce) {
  qv::testing::TestStateDir dir;
  const std::string fifo = dir.File("trace.fifo");
  platform::ChildProcess mkfifo;
  uint32_t exit_code = 1;
  ASSERT_TRUE(mkfifo.Start("mkfifo", {fifo}) && mkfifo.Wait(&exit_code) && exit_code == 0);
  const std::string target = dir.File("target.txt");
  ASSERT_TRUE(platform::WriteWholeFile(target, "", true));
  const std::string shared = dir.File("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);  // as /tmp
  fs::create_symlink(target, shared + "/Qvan.trace");
  const auto never = [] { return false; };
  for (const auto& [path, code] : std::vector<std::pair<std::string, uint32_t>>{
           {fifo, platform::ERROR_NOT_SUPPORTED},
           {"/dev/null", platform::ERROR_NOT_SUPPORTED},
           {shared + "/Qvan.trace", platform::ERROR_BAD_PATHNAME}}) {
    uint32_t elapsed_ms = 0;
    EXPECT_EQ(TraceOnce(path, never, &elapsed_ms), CannotOpen(path, code));
    // Far below the five seconds of attempts a file held by another writer gets.
    EXPECT_LT(elapsed_ms, 4000u) << path;
  }
  EXPECT_EQ(FileText(target), "");

  // In the test's own directory only its owner could have put the link: it is followed.
  fs::create_symlink(target, dir.File("Qvan.trace"));
  uint32_t elapsed_ms = 0;
  const auto written = [&] { return FileText(target).find(" line\r\n") != std::string::npos; };
  EXPECT_EQ(TraceOnce(dir.File("Qvan.trace"), written, &elapsed_ms), "");
  EXPECT_TRUE(written());
}

TEST(LogFiles, NewFilesAreTheOwnersAloneAndLooserOnesAreTightenedWithATraceLine) {
  qv::testing::TestStateDir dir;
  const std::string trace = dir.File("Qvan.trace");
  const std::string log = dir.File("Qvan.log");
  for (const bool loose : {false, true}) {
    if (loose) {
      for (const std::string& path : {trace, log})
        fs::permissions(path, kOwnerReadWrite | fs::perms::group_read | fs::perms::others_read);
    }
    TWCTraceWriter tracer(trace, 2);
    const ProcessWide<TWCTraceWriter>::Installation slot(TraceWriter, tracer);
    THtmlLogWriter requests(log, true);
    tracer.Trace("first", 1);
    requests.LogRequest("127.0.0.1", "GET /?U=a&P=b HTTP/1.0", "b");
  }
  for (const std::string& path : {trace, log}) {
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::mask, kOwnerReadWrite) << path;
    EXPECT_EQ(
        qv::testing::CountOf(FileText(trace), " File made readable by its owner alone: " + path + "\r\n"),
        1u);
  }
}

}  // namespace
}  // namespace qv
