// What the trace and request-log writers do with a file name that others could abuse: a FIFO or a
// device is refused at once (the writer never waits for a reader), a symbolic link in a directory
// others may write to is refused, and a file that its group or others could read is made its
// owner's alone, with a trace line. The FIFO comes from the system's mkfifo program.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "logging/wc_html_log_writer.h"
#include "logging/wc_trace_writer.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/win_error.h"
#include "support/win_error_text.h"
#include "testing/file_texts.h"
#include "testing/message_pump.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using qv::testing::FileText;
using qv::testing::TestStateDir;

fs::perms Permissions(const std::string& path) {
  return fs::symlink_status(path).permissions() & fs::perms::mask;
}

// Writes one trace line to the path and gives the error reports that came back before one did or the
// line was written (written tells); the writer is gone when this returns, and how long it all took in
// *elapsed_ms.
std::vector<std::string> TraceOnce(
    const std::string& path, uint32_t* elapsed_ms,
    const std::function<bool()>& written = [] { return false; }) {
  std::vector<std::string> reports;
  const uint32_t start = platform::GetTickCount();
  {
    TWCTraceWriter writer(path, 3);
    writer.OnError = [&reports](TThreadedFileWriter&, const std::string& message, const std::string&) {
      reports.push_back(message);
    };
    writer.Trace("line", 3);
    qv::testing::PumpMessagesUntil([&] { return !reports.empty() || written(); }, 20000);
  }
  *elapsed_ms = platform::GetTickCount() - start;
  return reports;
}

std::string CannotOpen(const std::string& path, uint32_t code) {
  return "Cannot open trace file \"" + path + "\". LastError: " + std::to_string(code) + " (" +
         GetWinErrorText(static_cast<int32_t>(code)) + ")";
}

TEST(LogFiles, AFifoOrADeviceIsRefusedAtOnceWithoutWaitingForAReader) {
  TestStateDir dir;
  const std::string fifo = dir.File("trace.fifo");
  platform::ChildProcess mkfifo;
  ASSERT_TRUE(mkfifo.Start("mkfifo", {fifo}));
  uint32_t exit_code = 1;
  ASSERT_TRUE(mkfifo.Wait(&exit_code));
  ASSERT_EQ(exit_code, 0u);
  for (const std::string& path : {fifo, std::string("/dev/null")}) {
    uint32_t elapsed_ms = 0;
    EXPECT_EQ(TraceOnce(path, &elapsed_ms),
              std::vector<std::string>{CannotOpen(path, platform::ERROR_NOT_SUPPORTED)});
    // Far below the five seconds of attempts a file held by another writer gets.
    EXPECT_LT(elapsed_ms, 4000u) << path;
  }
}

TEST(LogFiles, ALinkInADirectoryOthersMayWriteIsRefusedAndOneInAPrivateDirectoryFollowed) {
  TestStateDir dir;
  const std::string target = dir.File("target.txt");
  ASSERT_TRUE(platform::WriteWholeFile(target, "", true));
  const std::string shared = dir.File("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);  // as /tmp
  fs::create_symlink(target, shared + "/Qvan.trace");
  uint32_t elapsed_ms = 0;
  EXPECT_EQ(TraceOnce(shared + "/Qvan.trace", &elapsed_ms),
            std::vector<std::string>{CannotOpen(shared + "/Qvan.trace", platform::ERROR_BAD_PATHNAME)});
  EXPECT_EQ(FileText(target), "");

  // The test's own directory: only its owner could have put the link there.
  fs::create_symlink(target, dir.File("Qvan.trace"));
  EXPECT_TRUE(TraceOnce(dir.File("Qvan.trace"), &elapsed_ms, [&] {
                return FileText(target).find(" line\r\n") != std::string::npos;
              }).empty());
  EXPECT_NE(FileText(target).find(" line\r\n"), std::string::npos);
}

TEST(LogFiles, NewFilesAreTheOwnersAloneAndLooserOnesAreTightenedWithATraceLine) {
  TestStateDir dir;
  const std::string trace = dir.File("Qvan.trace");
  const std::string log = dir.File("Qvan.log");
  {
    TWCTraceWriter tracer(trace, 2);
    const ProcessWide<TWCTraceWriter>::Installation slot(TraceWriter, tracer);
    THtmlLogWriter requests(log, true);
    tracer.Trace("first", 1);
    requests.LogRequest("127.0.0.1", "GET /?U=a&P=b HTTP/1.0", "b");
  }
  EXPECT_EQ(Permissions(trace), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Permissions(log), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(FileText(trace).find("File made readable"), std::string::npos);

  for (const std::string& path : {trace, log})
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
  {
    TWCTraceWriter tracer(trace, 2);
    const ProcessWide<TWCTraceWriter>::Installation slot(TraceWriter, tracer);
    THtmlLogWriter requests(log, true);
  }
  EXPECT_EQ(Permissions(trace), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Permissions(log), fs::perms::owner_read | fs::perms::owner_write);
  const std::string lines = FileText(trace);
  EXPECT_NE(lines.find(" File made readable by its owner alone: " + trace + "\r\n"), std::string::npos)
      << lines;
  EXPECT_NE(lines.find(" File made readable by its owner alone: " + log + "\r\n"), std::string::npos)
      << lines;
}

}  // namespace
}  // namespace qv
