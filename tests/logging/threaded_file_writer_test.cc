#include "logging/threaded_file_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "logging/file_writer_error_report.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/shared_file.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/process/process.h"
#include "platform/threads/thread.h"
#include "support/date_time.h"
#include "support/general_functions.h"
#include "support/win_error_text.h"
#include "testing/file_texts.h"
#include "testing/message_pump.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

using qv::testing::FileText;
using qv::testing::PumpPendingMessages;
using qv::testing::SplitLines;
using qv::testing::TestStateDir;
using qv::testing::WaitForFile;
using qv::testing::WaitForFileText;

// The other process of the held-file test: this test program started again with QV_FILE_HOLDER set
// to "MILLISECONDS:PATH". It opens the file for writing as soon as it can, holds it that long and
// ends.
constexpr char kHolderVariable[] = "QV_FILE_HOLDER";
[[maybe_unused]] const bool kHolderRan = [] {
  const auto request = platform::GetEnvironmentVariable(kHolderVariable);
  if (!request) return false;
  const size_t colon = request->find(':');
  const uint32_t hold_ms = static_cast<uint32_t>(std::stoul(request->substr(0, colon)));
  platform::SharedFile file;
  // The test looks for the lock with opens of its own, which may get in the way of the first tries.
  while (!file.OpenForWriting(request->substr(colon + 1))) platform::Sleep(1);
  platform::Sleep(hold_ms);
  std::_Exit(0);
}();

struct ErrorReportSeen {
  std::string message;
  std::string class_name;
  uint32_t thread_id = 0;
};

// Collects the error reports a writer delivers to the test thread.
void CollectReports(TThreadedFileWriter& writer, std::vector<ErrorReportSeen>* reports) {
  writer.OnError = [reports](TThreadedFileWriter&, const std::string& message,
                             const std::string& class_name) {
    reports->push_back({message, class_name, platform::GetCurrentThreadId()});
  };
}

TEST(FileWriterErrorReport, HasTheLengthPrefixedNameTheLengthAndTheMessage) {
  const std::string report = BuildErrorReport("EConvertError", "bad");
  ASSERT_EQ(report.size(), 263u);
  EXPECT_EQ(report[0], 13);
  EXPECT_EQ(report.substr(1, 13), "EConvertError");
  EXPECT_EQ(report.substr(14, 242), std::string(242, '\0'));
  EXPECT_EQ(report.substr(256, 4), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(report.substr(260), "bad");

  std::string class_name;
  std::string message;
  ASSERT_TRUE(ReadErrorReport(report.data(), 263, &class_name, &message));
  EXPECT_EQ(class_name, "EConvertError");
  EXPECT_EQ(message, "bad");

  // A message of 300 bytes needs the second length byte; an empty message reads as empty text.
  const std::string long_report = BuildErrorReport("E", std::string(300, 'm'));
  EXPECT_EQ(long_report.substr(256, 4), std::string("\x2C\x01\0\0", 4));
  ASSERT_TRUE(ReadErrorReport(long_report.data(), 560, &class_name, &message));
  EXPECT_EQ(message, std::string(300, 'm'));
  const std::string empty_report = BuildErrorReport("E", "");
  ASSERT_TRUE(ReadErrorReport(empty_report.data(), 260, &class_name, &message));
  EXPECT_EQ(message, "");
}

TEST(FileWriterErrorReport, LongClassNamesAreCutAndMalformedReportsRefused) {
  const std::string report = BuildErrorReport(std::string(300, 'N'), "m");
  ASSERT_EQ(report.size(), 261u);
  EXPECT_EQ(static_cast<unsigned char>(report[0]), 255u);
  std::string class_name;
  std::string message;
  ASSERT_TRUE(ReadErrorReport(report.data(), 261, &class_name, &message));
  EXPECT_EQ(class_name, std::string(255, 'N'));

  EXPECT_FALSE(ReadErrorReport(report.data(), 259, &class_name, &message));  // shorter than the head
  EXPECT_FALSE(ReadErrorReport(report.data(), 260, &class_name, &message));  // message cut off
  const std::string longer = report + "x";
  EXPECT_FALSE(ReadErrorReport(longer.data(), 262, &class_name, &message));
}

// The writer picks its way of opening by what it finds before the first attempt; a file that
// appears or goes in between is still appended to or made, and never emptied.
TEST(OpenFileForAppending, NeverReplacesAFileAndMakesOneThatHasGone) {
  TestStateDir dir;
  const std::string appeared = dir.File("appeared.log");
  ASSERT_TRUE(platform::WriteWholeFile(appeared, "theirs\r\n"));
  platform::SharedFile file;
  ASSERT_TRUE(OpenFileForAppending(file, appeared, /*existed=*/false)) << platform::GetLastError();
  ASSERT_TRUE(file.SeekToEnd());
  ASSERT_TRUE(file.Write("mine\r\n"));
  file.Close();
  EXPECT_EQ(FileText(appeared), "theirs\r\nmine\r\n");

  const std::string gone = dir.File("gone.log");
  ASSERT_TRUE(OpenFileForAppending(file, gone, /*existed=*/true)) << platform::GetLastError();
  ASSERT_TRUE(file.Write("new"));
  file.Close();
  EXPECT_EQ(FileText(gone), "new");
  if (!qv::testing::SkipUnderWine("the file's owner-only security (Wine keeps no file security here)")) {
    EXPECT_TRUE(platform::IsOwnerOnlyFile(gone));
  }

  platform::SharedFile holder;
  ASSERT_TRUE(holder.OpenForWriting(gone));
  EXPECT_FALSE(OpenFileForAppending(file, gone, /*existed=*/true));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(OpenFileForAppending(file, gone, /*existed=*/false));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(OpenFileForAppending(file, dir.File("no/such.log"), /*existed=*/false));
  EXPECT_EQ(FileText(gone), "new");
}

TEST(ThreadedFileWriter, TimeAndLineEndAreAddedAndEmptyTextsIgnored) {
  TestStateDir dir;
  const std::string path = dir.File("writer.trace");
  TThreadedFileWriter writer(path);
  const TDateTime before = Now();
  writer.WriteText("", /*add_time=*/true, /*add_line_end=*/true);
  writer.WriteText("abc", /*add_time=*/true, /*add_line_end=*/true);
  writer.WriteText("def", /*add_time=*/false, /*add_line_end=*/false);
  ASSERT_TRUE(WaitForFile(path, [](const std::string& text) { return text.ends_with("def"); }));
  const TDateTime after = Now();

  // One line: the long time with its milliseconds, ": abc", CR LF; the empty text left no trace.
  const std::string text = FileText(path);
  ASSERT_TRUE(text.ends_with(": abc\r\ndef")) << text;
  const std::string stamp = text.substr(0, text.size() - 10);
  std::set<std::string> possible;
  for (TDateTime t = before; t <= after + 1.0 / kMillisecondsPerDay; t += 1.0 / kMillisecondsPerDay)
    possible.insert(FormatTimeMs(t));
  EXPECT_TRUE(possible.count(stamp)) << stamp;
  EXPECT_EQ(stamp[stamp.size() - 4], '.');
}

TEST(ThreadedFileWriter, AMissingFileIsCreatedOwnerOnlyAndAnExistingOneAppendedTo) {
  TestStateDir dir;
  const std::string fresh = dir.File("fresh.log");
  const std::string existing = dir.File("existing.log");
  ASSERT_TRUE(platform::WriteWholeFile(existing, "old line\r\n"));
  {
    TThreadedFileWriter fresh_writer(fresh);
    TThreadedFileWriter existing_writer(existing);
    fresh_writer.WriteText("first", false, true);
    existing_writer.WriteText("new line", false, true);
    ASSERT_TRUE(WaitForFileText(fresh, "first\r\n"));
    ASSERT_TRUE(WaitForFileText(existing, "old line\r\nnew line\r\n"));
    fresh_writer.WriteText("second", false, true);
    ASSERT_TRUE(WaitForFileText(fresh, "first\r\nsecond\r\n"));
  }
  if (!qv::testing::SkipUnderWine("the file's owner-only security (Wine keeps no file security here)")) {
    EXPECT_TRUE(platform::IsOwnerOnlyFile(fresh));
  }
}

TEST(ThreadedFileWriter, ADeletedFileIsCreatedAgainHoldingOnlyTheNewText) {
  TestStateDir dir;
  const std::string path = dir.File("request.log");
  TThreadedFileWriter writer(path);
  writer.WriteText("before", false, true);
  ASSERT_TRUE(WaitForFileText(path, "before\r\n"));
  ASSERT_TRUE(platform::DeleteFile(path));
  writer.WriteText("after", false, true);
  ASSERT_TRUE(WaitForFileText(path, "after\r\n"));
}

TEST(ThreadedFileWriter, TextsQueuedBeforeDestructionAreWritten) {
  TestStateDir dir;
  const std::string path = dir.File("writer.trace");
  std::string expected;
  {
    TThreadedFileWriter writer(path);
    for (int i = 0; i < 200; ++i) {
      const std::string line = "line " + std::to_string(i) + "\r\n";
      writer.WriteText(line, false, false);
      expected += line;
    }
  }
  EXPECT_EQ(FileText(path), expected);
}

TEST(ThreadedFileWriter, LinesFromManyThreadsArriveWholeAndInTheirThreadsOrder) {
  TestStateDir dir;
  const std::string path = dir.File("busy.trace");
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 200;
  TThreadedFileWriter writer(path);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kLinesPerThread; ++i) {
        // Lengths from a few bytes to several kilobytes, the body telling its thread.
        const size_t length = static_cast<size_t>((i * 397 + t * 131) % 6000);
        writer.WriteText(std::to_string(t) + " " + std::to_string(i) + " " +
                             std::string(length, static_cast<char>('a' + t)) + "|",
                         false, true);
      }
    });
  go = true;
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(WaitForFile(
      path, [&](const std::string& text) { return SplitLines(text).size() >= kThreads * kLinesPerThread; },
      60000));

  std::vector<int> next(kThreads, 0);
  const std::vector<std::string> lines = SplitLines(FileText(path));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  for (const std::string& line : lines) {
    const size_t first_blank = line.find(' ');
    const size_t second_blank = line.find(' ', first_blank + 1);
    ASSERT_NE(second_blank, std::string::npos) << line.substr(0, 80);
    const int t = std::stoi(line.substr(0, first_blank));
    const int i = std::stoi(line.substr(first_blank + 1, second_blank - first_blank - 1));
    ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 80);
    EXPECT_EQ(i, next[t]) << "thread " << t << " out of order";
    next[t] = i + 1;
    const size_t length = static_cast<size_t>((i * 397 + t * 131) % 6000);
    EXPECT_EQ(line.substr(second_blank + 1), std::string(length, static_cast<char>('a' + t)) + "|")
        << "line " << t << " " << i << " is not whole";
  }
}

TEST(ThreadedFileWriter, AFileHeldByAnotherProcessLosesOnlyTheTextBeingWritten) {
  TestStateDir dir;
  const std::string path = dir.File("held.trace");
  ASSERT_TRUE(platform::WriteWholeFile(path, "old\r\n"));
  std::vector<ErrorReportSeen> reports;
  TThreadedFileWriter writer(path);
  CollectReports(writer, &reports);

  // The other process holds the file for 7.5 s once it has it: the first text gives up after its
  // 5 s of attempts, the second finds the file free within its own.
  platform::ChildProcess holder;
  platform::SetEnvironmentVariable(kHolderVariable, "7500:" + path);
  ASSERT_TRUE(holder.Start(platform::GetModuleFileName(), {})) << platform::GetLastError();
  platform::SetEnvironmentVariable(kHolderVariable, std::nullopt);
  ASSERT_TRUE(qv::testing::PumpMessagesUntil(
      [&] {
        platform::SharedFile probe;
        if (probe.OpenForWriting(path)) return false;
        return platform::GetLastError() == platform::ERROR_SHARING_VIOLATION;
      },
      60000));

  writer.WriteText("lost", false, true);
  writer.WriteText("kept", false, true);
  ASSERT_TRUE(WaitForFileText(path, "old\r\nkept\r\n", 60000)) << FileText(path);
  PumpPendingMessages();

  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].message, "Cannot open trace file \"" + path + "\". LastError: 32 (" +
                                    GetWinErrorText(platform::ERROR_SHARING_VIOLATION) + ")");
  EXPECT_EQ(reports[0].class_name, "Exception");
  EXPECT_EQ(reports[0].thread_id, platform::GetCurrentThreadId());
  uint32_t exit_code = 1;
  ASSERT_TRUE(holder.Wait(&exit_code));
  EXPECT_EQ(exit_code, 0u);
}

// A writer that shows its file-name hook: the first open fails with a foreign exception, the second
// with a system exception, and every later one goes to another file.
class RedirectingWriter : public TThreadedFileWriter {
 public:
  RedirectingWriter(const std::string& path, std::string target)
      : TThreadedFileWriter(path, DeferredStart{}), target_(std::move(target)) {
    StartWriter();
  }
  ~RedirectingWriter() override { StopWriter(); }

 protected:
  void AdjustFileName(std::string& name) override {
    const int call = ++calls_;
    if (call == 1) throw std::runtime_error("not one of ours");
    if (call == 2) throw EConvertError("'x' is not a valid integer value");
    name = target_;
  }

 private:
  const std::string target_;
  std::atomic<int> calls_{0};
};

TEST(ThreadedFileWriter, OnlySystemExceptionsAreReportedAndTheNextTextIsHandled) {
  TestStateDir dir;
  const std::string path = dir.File("named.trace");
  const std::string target = dir.File("adjusted.trace");
  std::vector<ErrorReportSeen> reports;
  RedirectingWriter writer(path, target);
  CollectReports(writer, &reports);
  writer.WriteText("a", false, false);
  writer.WriteText("b", false, false);
  writer.WriteText("c", false, false);
  ASSERT_TRUE(WaitForFileText(target, "c"));
  PumpPendingMessages();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].class_name, "EConvertError");
  EXPECT_EQ(reports[0].message, "'x' is not a valid integer value");
  EXPECT_FALSE(platform::FileExists(path));
}

TEST(ThreadedFileWriter, WithoutOnErrorReportsAreDropped) {
  TestStateDir dir;
  const std::string target = dir.File("adjusted.trace");
  RedirectingWriter writer(dir.File("named.trace"), target);
  writer.WriteText("a", false, false);
  writer.WriteText("b", false, false);
  writer.WriteText("c", false, false);
  ASSERT_TRUE(WaitForFileText(target, "c"));  // the report was dispatched on the way, to nobody
}

TEST(ThreadedFileWriter, DestructionWhileTheWorkerWaitsForAFileIsBounded) {
  TestStateDir dir;
  const std::string path = dir.File("held.trace");
  ASSERT_TRUE(platform::WriteWholeFile(path, "old"));
  platform::SharedFile holder;
  ASSERT_TRUE(holder.OpenForWriting(path));
  auto writer = std::make_unique<TThreadedFileWriter>(path);
  writer->WriteText("one", false, false);
  writer->WriteText("two", false, false);
  platform::Sleep(50);
  // The first text gives up within the destruction's first wait; the worker, then trying the second,
  // is told to terminate and stops waiting for the file at once.
  const uint32_t start = platform::GetTickCount();
  writer.reset();
  const uint32_t destruction_ms = platform::GetTickCount() - start;
  EXPECT_LT(destruction_ms, 9000u);
  holder.Close();
  EXPECT_EQ(FileText(path), "old");
}

}  // namespace
}  // namespace qv
