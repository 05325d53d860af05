#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "itc/itc_endpoint.h"
#include "logging/log_writer.h"
#include "logging/request_log.h"
#include "logging/trace_writer.h"
#include "platform/files/file_system.h"
#include "support/date_format.h"
#include "support/date_time.h"
#include "testing/file_texts.h"
#include "testing/message_pump.h"
#include "testing/process_objects_fixture.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

using qv::testing::FileText;
using qv::testing::SplitLines;
using qv::testing::TestStateDir;
using qv::testing::WaitForFileText;

// True when the line is a time stamp of a moment between the two values, a blank and the rest.
bool IsStampedLine(const std::string& line, TDateTime before, TDateTime after, const std::string& rest) {
  const double second = 1.0 / 86400;
  for (double t = std::floor(before / second) * second; t <= after + second; t += second)
    if (line == DateTimeToStr(t) + " " + rest) return true;
  return false;
}

// Traces one line of each level (and a level-0 line) at the given detail and gives the file after the
// writer has gone; destruction writes what was queued first.
std::string TraceAtEachLevel(const std::string& path, int32_t detailness) {
  {
    TWCTraceWriter writer(path, detailness);
    writer.Trace("failure\r\n\tsecond line", 1);
    writer.Trace("notable", 2);
    writer.Trace("detail", 3);
    writer.Trace("level zero", 0);
  }
  return FileText(path);
}

TEST(TWCTraceWriter, WritesTheLinesUpToItsLevelOfDetail) {
  TestStateDir dir;
  const TDateTime before = Now();
  const std::string at_two = TraceAtEachLevel(dir.File("two.trace"), 2);
  const std::string at_255 = TraceAtEachLevel(dir.File("all.trace"), 255);
  const TDateTime after = Now();

  const std::vector<std::string> two = SplitLines(at_two);
  ASSERT_EQ(two.size(), 4u) << at_two;
  EXPECT_TRUE(IsStampedLine(two[0], before, after, "failure")) << two[0];
  EXPECT_EQ(two[1], "\tsecond line");
  EXPECT_TRUE(IsStampedLine(two[2], before, after, "notable")) << two[2];
  EXPECT_TRUE(IsStampedLine(two[3], before, after, "level zero")) << two[3];
  EXPECT_TRUE(at_two.ends_with("\r\n"));

  const std::vector<std::string> all = SplitLines(at_255);
  ASSERT_EQ(all.size(), 5u) << at_255;
  EXPECT_TRUE(IsStampedLine(all[3], before, after, "detail")) << all[3];
}

TEST(TWCTraceWriter, OnlyTheLowestEightBitsOfTheSettingCount) {
  TestStateDir dir;
  EXPECT_EQ(TWCTraceWriter(dir.File("a.trace"), 0).TraceDetailness, 0);
  EXPECT_EQ(TWCTraceWriter(dir.File("b.trace"), 256).TraceDetailness, 0);
  EXPECT_EQ(TWCTraceWriter(dir.File("c.trace"), -1).TraceDetailness, 255);
  EXPECT_EQ(TWCTraceWriter(dir.File("d.trace"), 0x102).TraceDetailness, 2);

  // At 0 and at 256 a traced line of a level from 1 to 3 never makes the file appear.
  for (const int32_t detailness : {0, 256}) {
    const std::string path = dir.File("off" + std::to_string(detailness) + ".trace");
    {
      TWCTraceWriter writer(path, detailness);
      for (uint8_t level = 1; level <= 3; ++level) writer.Trace("line", level);
    }
    EXPECT_FALSE(platform::FileExists(path)) << detailness;
  }
  EXPECT_EQ(SplitLines(TraceAtEachLevel(dir.File("minus.trace"), -1)).size(), 5u);
}

TEST(TWCTraceWriter, AnEmptyMessageGivesTheStampAndTheBlank) {
  TestStateDir dir;
  const std::string path = dir.File("empty.trace");
  const TDateTime before = Now();
  {
    TWCTraceWriter writer(path, 3);
    writer.Trace("", 3);
  }
  const std::vector<std::string> lines = SplitLines(FileText(path));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(IsStampedLine(lines[0], before, Now(), "")) << lines[0];
}

TEST(TLogWriter, CreatesAMissingDirectoryWhoseParentExists) {
  TestStateDir dir;
  const std::string path = dir.File("logs/service.trace");
  TWCTraceWriter writer(path, 3);
  EXPECT_TRUE(writer.Active);
  EXPECT_TRUE(platform::DirectoryExists(dir.File("logs")));  // at construction, before any line
  EXPECT_FALSE(platform::FileExists(path));
  writer.Trace("works", 1);
  ASSERT_TRUE(
      qv::testing::WaitForFile(path, [](const std::string& text) { return text.ends_with(" works\r\n"); }));
}

TEST(TLogWriter, ADirectoryTwoLevelsDownOrNoneAtAllLeavesTheWriterInactive) {
  TestStateDir dir;
  std::vector<std::string> reports;
  {
    const std::string deep = dir.File("missing/logs/service.trace");
    TWCTraceWriter writer(deep, 3);
    writer.OnError = [&](TThreadedFileWriter&, const std::string& message, const std::string&) {
      reports.push_back(message);
    };
    EXPECT_FALSE(writer.Active);
    writer.Trace("dropped", 1);
    writer.WriteLine("dropped too");
    EXPECT_FALSE(platform::DirectoryExists(dir.File("missing")));
    qv::testing::PumpPendingMessages();
  }
  qv::testing::PumpPendingMessages();
  EXPECT_TRUE(reports.empty());

  // A bare file name: the worker runs, but the writer sends it nothing. A text given to the worker
  // directly is written (into the current directory) and shows that no line went before it.
  const std::string previous_directory = platform::GetCurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(dir.Path()));
  {
    THtmlLogWriter writer("bare.log", true);
    EXPECT_FALSE(writer.Active);
    writer.LogRequest("10.0.0.1", "GET /?U=a&P=b HTTP/1.0", "b");
    writer.WriteText("marker", false, false);
  }
  EXPECT_EQ(FileText(dir.File("bare.log")), "marker");
  ASSERT_TRUE(platform::SetCurrentDirectory(previous_directory));
}

// A log writer whose worker never started: its endpoint is not connected, so a text cannot be sent.
class UnstartedLogWriter : public TLogWriter {
 public:
  explicit UnstartedLogWriter(const std::string& path) : TLogWriter(path, DeferredStart{}) {}
};

TEST(TLogWriter, ALineThatCannotBeSentIsLostWithoutFailingTheCaller) {
  TestStateDir dir;
  UnstartedLogWriter writer(dir.File("unsent.log"));
  ASSERT_TRUE(writer.Active);
  EXPECT_THROW(writer.WriteText("text", false, false), eItcException);
  EXPECT_NO_THROW(writer.WriteLine("line"));
}

TEST(THtmlLogWriter, LogsTheStampTheAddressAndTheMaskedLine) {
  TestStateDir dir;
  const std::string path = dir.File("requests.log");
  const TDateTime before = Now();
  {
    THtmlLogWriter writer(path, true);
    EXPECT_TRUE(writer.Enabled);
    writer.LogRequest("192.168.1.20", "GET /?U=anna&P=geheim&E=CO&X=3 HTTP/1.0\r", "geheim");
    writer.LogRequest("", "", "");
  }
  const std::vector<std::string> lines = SplitLines(FileText(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(
      IsStampedLine(lines[0], before, Now(), "192.168.1.20 GET /?U=anna&P=********&E=CO&X=3 HTTP/1.0\r"))
      << lines[0];
  EXPECT_TRUE(IsStampedLine(lines[1], before, Now(), " ")) << lines[1];
}

TEST(THtmlLogWriter, WritesNothingWhenSwitchedOff) {
  TestStateDir dir;
  const std::string path = dir.File("requests.log");
  {
    THtmlLogWriter writer(path, false);
    EXPECT_FALSE(writer.Enabled);
    writer.LogRequest("10.0.0.1", "GET /?U=a&P=b HTTP/1.0", "b");
  }
  EXPECT_FALSE(platform::FileExists(path));
}

TEST(MaskPassword, ReplacesThePasswordAfterTheFirstPWithEightAsterisks) {
  EXPECT_EQ(MaskPassword("GET /?U=a&P=x HTTP/1.0", "x"), "GET /?U=a&P=******** HTTP/1.0");
  EXPECT_EQ(MaskPassword("GET /?U=a&P=averylongpassword", "averylongpassword"), "GET /?U=a&P=********");
  // Without a password the line stays as it is.
  EXPECT_EQ(MaskPassword("GET /?U=a&E=CO HTTP/1.0", "secret"), "GET /?U=a&E=CO HTTP/1.0");
  // The password elsewhere in the line is no password value and stays.
  EXPECT_EQ(MaskPassword("GET /?U=secret&P=secret HTTP/1.0", "secret"), "GET /?U=secret&P=******** HTTP/1.0");
  // An empty password: the "P=" gets the asterisks after it, the rest follows unchanged.
  EXPECT_EQ(MaskPassword("GET /?P=&U=a HTTP/1.0", ""), "GET /?P=********&U=a HTTP/1.0");
  EXPECT_EQ(MaskPassword("GET /?U=a HTTP/1.0", ""), "GET /?U=a HTTP/1.0");
  EXPECT_EQ(MaskPassword("", ""), "");
}

TEST(MaskPassword, HidesEveryPlaceTheRequestCouldHaveTakenThePasswordFrom) {
  // The request parsing takes "p=" when there is no "P=", and a repeated parameter may carry the
  // password twice: none of them reaches the log.
  EXPECT_EQ(MaskPassword("GET /?u=a&p=secret HTTP/1.0", "secret"), "GET /?u=a&p=******** HTTP/1.0");
  EXPECT_EQ(MaskPassword("GET /?P=secret&U=a&P=secret&p=secret", "secret"),
            "GET /?P=********&U=a&P=********&p=********");
  // Every P, whatever the password the parsing took: a second one, an empty one, one that came
  // percent-escaped while the request carries it decoded.
  EXPECT_EQ(MaskPassword("GET /?U=x&P=wrong&P=Secr3t HTTP/1.0", "wrong"),
            "GET /?U=x&P=********&P=******** HTTP/1.0");
  EXPECT_EQ(MaskPassword("GET /?P=&U=a&P=Secr3t HTTP/1.0", ""), "GET /?P=********&U=a&P=******** HTTP/1.0");
  EXPECT_EQ(MaskPassword("GET /?U=x&P=a%26b%20c&E=CA HTTP/1.0", "a&b c"),
            "GET /?U=x&P=********&E=CA HTTP/1.0");
}

TEST(ProcessWideWriters, TakeTheirFilesAndSwitchesFromTheSettings) {
  const qv::testing::ProcessObjectsFixture objects(
      {{"TraceDetailness", 0xFFFFFFFFu}, {"logging", 0u}},
      qv::testing::kTraceWriterObject | qv::testing::kRequestLogObject);
  const std::string trace_file = qv::testing::ProcessObjectsFixture::TraceFile();
  EXPECT_EQ(TraceWriter->FileName, trace_file);
  EXPECT_EQ(TraceWriter->TraceDetailness, 255);
  EXPECT_EQ(RequestLog->FileName, qv::testing::ProcessObjectsFixture::LogFile());
  EXPECT_FALSE(RequestLog->Enabled);
  TraceWriter->Trace("through the slot", 3);
  ASSERT_TRUE(qv::testing::WaitForFile(
      trace_file, [](const std::string& text) { return text.ends_with(" through the slot\r\n"); }));
}

}  // namespace
}  // namespace qv
