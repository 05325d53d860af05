// The report of a WCException (event 50 and a trace line) and the exception-report form of the handlers
// that catch other errors.
#include "logging/exception_report.h"

#include <gtest/gtest.h>

#include <optional>

#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "platform/files/file_system.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

class ExceptionReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    event_log_.emplace();
    event_log_installed_.emplace(EventLog, *event_log_);
  }
  void StartTrace(int detail) {
    trace_.emplace(dir_.File("trace.txt"), detail);
    trace_installed_.emplace(TraceWriter, *trace_);
  }
  std::string StopTrace() {
    trace_installed_.reset();
    trace_.reset();
    std::string text;
    platform::ReadWholeFile(dir_.File("trace.txt"), &text);
    return text;
  }

  testing::EventLogTestDir dir_;
  std::optional<TWCEventLog> event_log_;
  std::optional<ProcessWide<TWCEventLog>::Installation> event_log_installed_;
  std::optional<TWCTraceWriter> trace_;
  std::optional<ProcessWide<TWCTraceWriter>::Installation> trace_installed_;
};

TEST_F(ExceptionReportTest, AReportWithoutRaisingWritesTheEventAndTheTraceLine) {
  StartTrace(2);
  ReportWCException("Out of memory");
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = testing::ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventID, 50u);
  EXPECT_EQ(events[0].EventType, 1);  // error
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"GetStackAddress", "Out of memory"}));
  const std::string trace = StopTrace();
  EXPECT_TRUE(trace.ends_with(" Exception! atGetStackAddress Out of memory\r\n")) << trace;
}

TEST_F(ExceptionReportTest, RaisingReportsOnceAndCarriesTheMessage) {
  StartTrace(1);  // the report's trace line is level 2: not written at 1
  try {
    RaiseWCException("Cannot read");
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Cannot read");
    EXPECT_STREQ(error.ClassName(), "WCException");
  }
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_EQ(testing::ReadAllEvents().size(), 1u);
  EXPECT_EQ(StopTrace(), "");
}

TEST_F(ExceptionReportTest, WithoutTheLogAndTheTraceTheExceptionIsStillRaised) {
  event_log_installed_.reset();
  EXPECT_THROW(RaiseWCException("quiet"), WCException);
  TraceExceptionReport("quiet", "TSrvThread");
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_TRUE(testing::ReadAllEvents().empty());
}

TEST(ExceptionReport, TheFormGrowsWithTheDetail) {
  const auto level2 = [] { return std::string("Thread ID: 7 ClientSocket: 10.0.0.1:4711"); };
  const auto level3 = [] { return std::string("sReadBuffer: abc"); };
  const std::string base = "Exception! boom\r\n\tTSrvThread at GetStackAddress";
  EXPECT_EQ(ExceptionReportText("boom", "TSrvThread"), base);
  EXPECT_EQ(ExceptionReportForDetail(1, "boom", "TSrvThread", level2, level3), base);
  EXPECT_EQ(ExceptionReportForDetail(2, "boom", "TSrvThread", level2, level3),
            base + "\r\n\tThread ID: 7 ClientSocket: 10.0.0.1:4711");
  EXPECT_EQ(ExceptionReportForDetail(3, "boom", "TSrvThread", level2, level3),
            base + "\r\n\tThread ID: 7 ClientSocket: 10.0.0.1:4711\r\n\tsReadBuffer: abc");
  // A place without level-2 values goes straight to its level-3 values.
  EXPECT_EQ(ExceptionReportForDetail(2, "boom", "TWCExchange", nullptr, level3),
            "Exception! boom\r\n\tTWCExchange at GetStackAddress");
  EXPECT_EQ(ExceptionReportForDetail(3, "boom", "TWCExchange", nullptr, level3),
            "Exception! boom\r\n\tTWCExchange at GetStackAddress\r\n\tsReadBuffer: abc");
  EXPECT_EQ(ExceptionReportForDetail(0, "boom", "TSrvThread"), "");
  EXPECT_EQ(ExceptionReportForDetail(4, "boom", "TSrvThread"), "");
}

TEST_F(ExceptionReportTest, TheReportIsWrittenAtTheLevelOfTheDetailAndBuildsOnlyWhatItShows) {
  for (const int detail : {1, 2, 3, 0, 255}) {
    SCOPED_TRACE(detail);
    StartTrace(detail);
    int built = 0;
    TraceExceptionReport("boom", "TSrvThread", nullptr, [&] {
      ++built;
      return std::string("ctx");
    });
    const std::string trace = StopTrace();
    EXPECT_EQ(built, detail == 3 ? 1 : 0);
    if (detail >= 1 && detail <= 3) {
      EXPECT_TRUE(trace.ends_with(std::string(" Exception! boom\r\n\tTSrvThread at GetStackAddress") +
                                  (detail == 3 ? "\r\n\tctx" : "") + "\r\n"))
          << trace;
    } else {
      EXPECT_EQ(trace, "");
    }
    platform::DeleteFile(dir_.File("trace.txt"));
  }
}

}  // namespace
}  // namespace qv
