// The Linux event log: the event-log database of the state directory (record numbers, reading both
// ways, handles and names only the stand-in refuses, write protection, damaged files, size limits,
// several writing processes) and the copies of the events that go to syslog.
#include "platform/event_log/event_log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_description.h"
#include "platform/event_log/syslog.h"
#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/registry/registry.h"
#include "platform/sqlite/sqlite_database.h"
#include "testing/child_tests.h"
#include "testing/event_log_testing.h"
#include "testing/machine_registry.h"

namespace qv::platform {
namespace {

using qv::testing::DwordBytes;
using qv::testing::ReadAllEvents;
using qv::testing::SetMachineValue;

void RegisterMessageFile(const std::string& source, const std::string& files, uint32_t type = REG_SZ) {
  SetMachineValue(std::string(kApplicationLogKey) + "\\" + source, "EventMessageFile", type, files + '\0');
}

// An event source for the time of a test.
class Source {
 public:
  explicit Source(const std::string& name, const std::string& server = "")
      : handle_(RegisterEventSource(server, name)) {}
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source() {
    if (handle_ != HEVENTLOG{}) DeregisterEventSource(handle_);
  }
  HEVENTLOG Get() const { return handle_; }

  bool Report(uint16_t type, uint32_t id, const std::vector<std::string>& strings = {},
              const std::string& data = "", uint16_t category = 0, const Sid* sid = nullptr) const {
    std::vector<const char*> texts;
    for (const std::string& text : strings) texts.push_back(text.c_str());
    return ReportEvent(handle_, type, category, id, sid, static_cast<uint16_t>(texts.size()),
                       static_cast<uint32_t>(data.size()), texts.data(), data.data());
  }

 private:
  HEVENTLOG handle_;
};

std::vector<uint32_t> Ids(const std::vector<EventLogRecord>& records) {
  std::vector<uint32_t> ids;
  for (const auto& record : records) ids.push_back(record.EventID);
  return ids;
}

TEST(EventLog, EventWithoutStringsOrDataKeepsNone) {
  qv::testing::EventLogTestDir dir;
  Source source("Qvan");
  ASSERT_TRUE(ReportEvent(source.Get(), EVENTLOG_WARNING_TYPE, 0, 101, nullptr, 0, 0, nullptr, nullptr));
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].Strings.empty());
  EXPECT_TRUE(events[0].Data.empty());
  EXPECT_TRUE(events[0].UserSid.empty());
}

TEST(EventLog, ReadsSequentiallyBothWaysAndFromARecord) {
  qv::testing::EventLogTestDir dir;
  {
    Source source("Qvan");
    for (uint32_t id = 1; id <= 5; ++id) ASSERT_TRUE(source.Report(EVENTLOG_INFORMATION_TYPE, id));
  }
  const HEVENTLOG log = OpenEventLog("", "Application");
  ASSERT_NE(log, HEVENTLOG{});
  uint32_t count = 0, oldest = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  ASSERT_TRUE(GetOldestEventLogRecord(log, &oldest));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(oldest, 1u);

  std::vector<EventLogRecord> batch;
  const uint32_t backwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
  ASSERT_TRUE(ReadEventLog(log, backwards, 0, 2, &batch));
  EXPECT_EQ(Ids(batch), (std::vector<uint32_t>{5, 4}));
  ASSERT_TRUE(ReadEventLog(log, backwards, 0, 2, &batch));
  EXPECT_EQ(Ids(batch), (std::vector<uint32_t>{3, 2}));
  // Turning round continues from the event read last.
  ASSERT_TRUE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 10, &batch));
  EXPECT_EQ(Ids(batch), (std::vector<uint32_t>{3, 4, 5}));
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 10, &batch));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_TRUE(batch.empty());

  ASSERT_TRUE(ReadEventLog(log, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 2, 10, &batch));
  EXPECT_EQ(Ids(batch), (std::vector<uint32_t>{2, 1}));
  ASSERT_TRUE(ReadEventLog(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 4, 10, &batch));
  EXPECT_EQ(Ids(batch), (std::vector<uint32_t>{4, 5}));

  // Both directions, or neither, are refused.
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ, 0, 10, &batch));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 0,
                            10, &batch));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseEventLog(log));
}

TEST(EventLog, ALogNeverWrittenReadsEmptyUntilItIs) {
  qv::testing::EventLogTestDir dir;
  const HEVENTLOG log = OpenEventLog("", "System");  // an unknown log is the application log
  ASSERT_NE(log, HEVENTLOG{});
  std::vector<EventLogRecord> batch;
  EXPECT_FALSE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 10, &batch));
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  uint32_t count = 99;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(FileExists(dir.File("eventlog.db")));  // reading creates nothing

  Source source("Qvan");
  ASSERT_TRUE(source.Report(EVENTLOG_ERROR_TYPE, 50));
  ASSERT_TRUE(ReadEventLog(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 10, &batch));
  EXPECT_EQ(Ids(batch), std::vector<uint32_t>{50});
  CloseEventLog(log);
}

TEST(EventLog, AReadingHandleIsNoSourceAndASourceNeedsAName) {
  qv::testing::EventLogTestDir dir;
  const HEVENTLOG log = OpenEventLog("", "Application");
  ASSERT_NE(log, HEVENTLOG{});
  EXPECT_FALSE(ReportEvent(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(DeregisterEventSource(log));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseEventLog(log);
  EXPECT_TRUE(ReadAllEvents().empty());

  EXPECT_EQ(RegisterEventSource("", ""), HEVENTLOG{});
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // The computer's own name in the UNC form is this machine as well.
  Source named("Qvan", "\\\\" + GetComputerName());
  EXPECT_NE(named.Get(), HEVENTLOG{});
}

TEST(EventLog, CutsOverlongStrings) {
  qv::testing::EventLogTestDir dir;
  Source source("Qvan");
  ASSERT_TRUE(
      source.Report(EVENTLOG_ERROR_TYPE, 50, {"here", std::string(kMaxInsertionStringLength + 10, 'm')}));
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Strings[1], std::string(kMaxInsertionStringLength, 'm'));
}

TEST(EventLog, AWriteProtectedLogRefusesEventsAndStaysReadable) {
  qv::testing::EventLogTestDir dir;
  Source before("Qvan");
  ASSERT_TRUE(before.Report(EVENTLOG_INFORMATION_TYPE, 1));
  ASSERT_TRUE(SetFileAttributes(dir.File("eventlog.db"), FILE_ATTRIBUTE_READONLY));

  // An open source and one opened afterwards both get false, not a crash.
  EXPECT_FALSE(before.Report(EVENTLOG_INFORMATION_TYPE, 2));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  Source after("Qvan");
  ASSERT_NE(after.Get(), HEVENTLOG{});
  EXPECT_FALSE(after.Report(EVENTLOG_INFORMATION_TYPE, 3));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Ids(ReadAllEvents()), std::vector<uint32_t>{1});

  ASSERT_TRUE(SetFileAttributes(dir.File("eventlog.db"), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(before.Report(EVENTLOG_INFORMATION_TYPE, 4));
  EXPECT_EQ(Ids(ReadAllEvents()), (std::vector<uint32_t>{1, 4}));
}

TEST(EventLog, AFileThatIsNoEventLogIsNeverWritten) {
  qv::testing::EventLogTestDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("eventlog.db"), "These are notes, not events.\n"));
  {
    Source source("Qvan");
    ASSERT_NE(source.Get(), HEVENTLOG{});
    EXPECT_FALSE(source.Report(EVENTLOG_ERROR_TYPE, 50));
    EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
    EXPECT_EQ(OpenEventLog("", "Application"), HEVENTLOG{});
    EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
  }
  std::string content;
  ASSERT_TRUE(ReadWholeFile(dir.File("eventlog.db"), &content));
  EXPECT_EQ(content, "These are notes, not events.\n");

  // Another program's database is left alone too.
  ASSERT_TRUE(DeleteFile(dir.File("eventlog.db")));
  {
    SqliteDatabase other(dir.File("eventlog.db"), SqliteDatabase::Mode::kReadWriteCreate);
    other.Exec("CREATE TABLE events(x)");
  }
  Source source("Qvan");
  EXPECT_FALSE(source.Report(EVENTLOG_ERROR_TYPE, 50));
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
}

TEST(EventLog, AFullLogThatMayNotOverwriteRefusesNewEvents) {
  qv::testing::EventLogTestDir dir;
  SetMachineValue(kApplicationLogKey, "MaxSize", REG_DWORD, DwordBytes(kMinimumEventLogMaxSize));
  SetMachineValue(kApplicationLogKey, "Retention", REG_DWORD, DwordBytes(kRetentionNeverOverwrite));
  Source source("Qvan");
  const std::string text(2000, 'x');
  int written = 0;
  while (source.Report(EVENTLOG_WARNING_TYPE, 111, {text})) {
    ++written;
    ASSERT_LT(written, 1000) << "the log never became full";
  }
  EXPECT_EQ(GetLastError(), ERROR_LOG_FILE_FULL);
  EXPECT_GT(written, 10);
  EXPECT_FALSE(source.Report(EVENTLOG_WARNING_TYPE, 111, {text}));
  EXPECT_EQ(ReadAllEvents().size(), static_cast<size_t>(written));
  EXPECT_EQ(ReadAllEvents().front().RecordNumber, 1u);  // nothing was overwritten
}

TEST(EventLog, AFullLogOverwritesItsOldestEventsWhenRetentionAllows) {
  qv::testing::EventLogTestDir dir;
  SetMachineValue(kApplicationLogKey, "MaxSize", REG_DWORD, DwordBytes(kMinimumEventLogMaxSize));
  Source source("Qvan");  // Retention missing: 0, overwrite as needed
  const std::string text(1000, 'x');
  for (uint32_t id = 1; id <= 400; ++id) ASSERT_TRUE(source.Report(EVENTLOG_WARNING_TYPE, id, {text})) << id;
  const auto events = ReadAllEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_LT(events.size(), 400u);
  EXPECT_GT(events.size(), 20u);
  EXPECT_EQ(events.back().EventID, 400u);
  EXPECT_EQ(events.back().RecordNumber, 400u);  // record numbers go on counting
  for (size_t i = 1; i < events.size(); ++i)
    EXPECT_EQ(events[i].RecordNumber, events[i - 1].RecordNumber + 1);

  // Events younger than the retention are kept: the log is full.
  SetMachineValue(kApplicationLogKey, "Retention", REG_DWORD, DwordBytes(7 * 86400));
  Source keeping("Qvan");
  int written = 0;
  while (keeping.Report(EVENTLOG_WARNING_TYPE, 1000, {text})) ASSERT_LT(++written, 1000);
  EXPECT_EQ(GetLastError(), ERROR_LOG_FILE_FULL);
  EXPECT_EQ(ReadAllEvents().front().RecordNumber, events.front().RecordNumber);
}

// Run by the test below in child processes; it does nothing in an ordinary run.
TEST(EventLogChild, WritesItsShareOfEvents) {
  const auto child = GetEnvironmentVariable("QV_EVENTLOG_TEST_CHILD");
  if (!child) GTEST_SKIP() << "runs only as a child process of ProcessesWritingAtOnceLoseNone";
  Source source("Child" + *child);
  for (uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(source.Report(EVENTLOG_INFORMATION_TYPE, i));
}

TEST(EventLog, ProcessesWritingAtOnceLoseNone) {
  qv::testing::EventLogTestDir dir;
  constexpr int kChildren = 4;
  qv::testing::RunChildTestsAtOnce("EventLogChild.WritesItsShareOfEvents", "QV_EVENTLOG_TEST_CHILD",
                                   {"0", "1", "2", "3"});
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), static_cast<size_t>(kChildren * 100));
  std::map<std::string, std::set<uint32_t>> ids;
  for (const auto& event : events) ids[event.SourceName].insert(event.EventID);
  ASSERT_EQ(ids.size(), static_cast<size_t>(kChildren));
  for (const auto& [name, source_ids] : ids) EXPECT_EQ(source_ids.size(), 100u) << name;
  EXPECT_EQ(events.back().RecordNumber, static_cast<uint32_t>(kChildren * 100));
}

// The copies sent to a syslog daemon: "<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT".
class EventLogSyslog : public ::testing::Test {
 protected:
  EventLogSyslog() : listener_(dir_.File("log.socket")) { dir_.SetSyslogSocket(listener_.Path()); }

  std::string Next() {
    std::string datagram;
    EXPECT_TRUE(listener_.Receive(5000, &datagram)) << "no syslog message came";
    return datagram;
  }

  qv::testing::EventLogTestDir dir_;
  SyslogListener listener_;
};

// The parts of a syslog message; false when it does not have the form.
struct SyslogParts {
  std::string priority;
  std::string tag;
  std::string pid;
  std::string text;
};

bool SplitSyslogMessage(const std::string& message, SyslogParts* parts) {
  const size_t priority_end = message.find('>');
  if (message.empty() || message[0] != '<' || priority_end == std::string::npos) return false;
  parts->priority = message.substr(1, priority_end - 1);
  // "Mmm dd hh:mm:ss": the month in English, the day padded with a blank.
  const std::string stamp = message.substr(priority_end + 1, 15);
  const std::string shape = "Aaa #9 99:99:99";
  if (stamp.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const auto c = static_cast<unsigned char>(stamp[i]);
    const bool fits = shape[i] == 'A'   ? std::isupper(c)
                      : shape[i] == 'a' ? std::islower(c)
                      : shape[i] == '9' ? std::isdigit(c)
                      : shape[i] == '#' ? (c == ' ' || std::isdigit(c))
                                        : c == static_cast<unsigned char>(shape[i]);
    if (!fits) return false;
  }
  const size_t tag_start = priority_end + 1 + stamp.size() + 1;
  const size_t open = message.find('[', tag_start);
  const size_t close = message.find("]: ", open);
  if (message[tag_start - 1] != ' ' || open == std::string::npos || close == std::string::npos) return false;
  parts->tag = message.substr(tag_start, open - tag_start);
  parts->pid = message.substr(open + 1, close - open - 1);
  parts->text = message.substr(close + 3);
  return true;
}

TEST_F(EventLogSyslog, SendsEachEventWithItsTextAtTheSeverityOfItsType) {
  RegisterMessageFile("Qvan", qv::testing::CatalogueProgram());
  Source source("Qvan");
  SyslogParts parts;

  ASSERT_TRUE(source.Report(EVENTLOG_WARNING_TYPE, 111, {"20"}));
  const std::string warning = Next();
  ASSERT_TRUE(SplitSyslogMessage(warning, &parts)) << warning;
  EXPECT_EQ(parts.priority, "28");  // daemon facility (3) * 8 + warning (4)
  EXPECT_EQ(parts.tag, "Qvan");
  EXPECT_FALSE(parts.pid.empty());
  EXPECT_EQ(parts.pid.find_first_not_of("0123456789"), std::string::npos) << parts.pid;
  EXPECT_EQ(parts.text, "Request reject!\nMaximum connection of 20 reached!");

  ASSERT_TRUE(source.Report(EVENTLOG_ERROR_TYPE, 50, {"GetStackAddress", "Out of memory"}));
  const std::string error = Next();
  ASSERT_TRUE(SplitSyslogMessage(error, &parts)) << error;
  EXPECT_EQ(parts.priority, "27");
  EXPECT_EQ(parts.text, "A Exception occurred at GetStackAddress.\nThe error message reads:\nOut of memory");

  const std::pair<uint16_t, const char*> severities[] = {{EVENTLOG_INFORMATION_TYPE, "30"},
                                                         {EVENTLOG_SUCCESS, "30"},
                                                         {EVENTLOG_AUDIT_SUCCESS, "29"},
                                                         {EVENTLOG_AUDIT_FAILURE, "28"}};
  for (const auto& [type, priority] : severities) {
    ASSERT_TRUE(source.Report(type, 1, {"started"}));
    const std::string message = Next();
    ASSERT_TRUE(SplitSyslogMessage(message, &parts)) << message;
    EXPECT_EQ(parts.priority, priority) << type;
    EXPECT_EQ(parts.text, "The Quorvane service was started.");
  }
}

TEST_F(EventLogSyslog, SendsTextsInUtf8AndEventsWithoutCatalogueAsTheViewerShowsThem) {
  RegisterMessageFile("Qvan", qv::testing::CatalogueProgram());
  Source source("Qvan");
  ASSERT_TRUE(source.Report(EVENTLOG_ERROR_TYPE, 122, {"10.0.0.7", "J\xFCrgen \x80"}));
  EXPECT_NE(Next().find("to the mailbox J\xC3\xBCrgen \xE2\x82\xAC has failed."), std::string::npos);

  Source unregistered("No Catalogue");
  ASSERT_TRUE(unregistered.Report(EVENTLOG_WARNING_TYPE, 7, {"first"}));
  const std::string message = Next();
  EXPECT_NE(message.find(" No_Catalogue["), std::string::npos) << message;
  EXPECT_NE(message.find("]: The description for Event ID 7 from source No Catalogue cannot be found."),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("included with the event:\n\nfirst"), std::string::npos) << message;
}

TEST_F(EventLogSyslog, SendsTheCopyAlsoWhenTheLogRefusesTheEvent) {
  RegisterMessageFile("Qvan", qv::testing::CatalogueProgram());
  Source source("Qvan");
  ASSERT_TRUE(source.Report(EVENTLOG_INFORMATION_TYPE, 1, {"started"}));
  Next();
  ASSERT_TRUE(SetFileAttributes(dir_.File("eventlog.db"), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(source.Report(EVENTLOG_WARNING_TYPE, 111, {"20"}));
  EXPECT_NE(Next().find("Maximum connection of 20 reached!"), std::string::npos);
  ASSERT_TRUE(SetFileAttributes(dir_.File("eventlog.db"), FILE_ATTRIBUTE_NORMAL));
}

TEST(EventLogSyslogDestination, IsDevLogUnlessTheEnvironmentNamesAnother) {
  const auto previous = GetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET");
  SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", std::nullopt);
  EXPECT_EQ(SyslogSocketPath(), "/dev/log");
  SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", "/run/test.sock");
  EXPECT_EQ(SyslogSocketPath(), "/run/test.sock");
  SetEnvironmentVariable("QUORVANE_SYSLOG_SOCKET", previous);
}

TEST(EventLogSyslogDestination, NoListenerLosesOnlyTheCopy) {
  qv::testing::EventLogTestDir dir;
  dir.SetSyslogSocket(dir.File("nobody-listens"));
  Source source("Qvan");
  EXPECT_TRUE(source.Report(EVENTLOG_ERROR_TYPE, 100, {"reset"}));
  EXPECT_EQ(ReadAllEvents().size(), 1u);
}

}  // namespace
}  // namespace qv::platform
