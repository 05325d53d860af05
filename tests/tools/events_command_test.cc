#include "tools/events_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <sstream>

#include "config/registry_object.h"
#include "platform/clock/clock.h"
#include "platform/event_log/event_log.h"
#include "platform/files/file_attributes.h"
#include "platform/process/module.h"
#include "testing/event_log_testing.h"
#include "testing/platform_checks.h"
#include "tools/event_time.h"
#include "tools/json_text.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using qv::testing::ReadAllEvents;

const std::string kSourcesKey = std::string(platform::kApplicationLogKey) + "\\";

// Runs "qvanctl events ..." in-process, through the tool's dispatcher.
class EventsCommandTest : public ToolCommandTest {
 protected:
  int Run(const std::vector<std::string>& args) {
    std::vector<std::string> all{"events"};
    all.insert(all.end(), args.begin(), args.end());
    return RunTool(all);
  }

  void Write(const std::string& type, uint32_t id, const std::vector<std::string>& strings,
             const std::string& source = "Qvan") {
    std::vector<std::string> args{"write", "--source",         source, "--type", type,
                                  "--id",  std::to_string(id), "--"};
    args.insert(args.end(), strings.begin(), strings.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    ASSERT_EQ(out_.str(), "");
  }

  std::vector<std::string> JsonLines(std::vector<std::string> args = {}) {
    args.insert(args.begin(), "list");
    args.push_back("--json");
    EXPECT_EQ(Run(args), 0) << err_.str();
    std::vector<std::string> lines;
    std::istringstream text(out_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  // The value of a field of a JSON line as it is written there (strings with their quotes).
  static std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t start = line.find(key);
    if (start == std::string::npos) return "<missing>";
    size_t at = start + key.size();
    size_t end = at;
    if (line[at] == '"') {
      for (end = at + 1; line[end] != '"'; ++end)
        if (line[end] == '\\') ++end;
      ++end;
    } else if (line[at] == '[') {
      end = line.find(']', at) + 1;
    } else {
      end = line.find_first_of(",}", at);
    }
    return line.substr(at, end - at);
  }

  qv::testing::EventLogTestDir dir_;
};

TEST_F(EventsCommandTest, WritesAnEventAndListsItWithItsCatalogueText) {
  Write("warning", 111, {"20"});
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventType, platform::EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(events[0].Strings, std::vector<std::string>{"20"});

  ASSERT_EQ(Run({"list"}), 0) << err_.str();
  const std::string listing = out_.str();
  EXPECT_NE(listing.find("  Warning  Qvan  Event ID 111  (record 1)\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\nRequest reject!\nMaximum connection of 20 reached!\n"), std::string::npos)
      << listing;
  EXPECT_EQ(listing.substr(0, 19), LocalTimeText(events[0].TimeGenerated));

  const auto lines = JsonLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "message"), "\"Request reject!\\nMaximum connection of 20 reached!\"");
  EXPECT_EQ(Field(lines[0], "message_found"), "true");
  EXPECT_EQ(Field(lines[0], "type"), "\"warning\"");
  EXPECT_EQ(Field(lines[0], "source"), "\"Qvan\"");
  EXPECT_EQ(Field(lines[0], "id"), "111");
  EXPECT_EQ(Field(lines[0], "record"), "1");
  EXPECT_EQ(Field(lines[0], "strings"), "[\"20\"]");
  EXPECT_EQ(Field(lines[0], "time"), "\"" + UtcTimeText(events[0].TimeGenerated) + "\"");
  EXPECT_EQ(Field(lines[0], "user"), "null");
}

TEST_F(EventsCommandTest, EveryMessageOfTheCatalogueReadsAsWritten) {
  struct Case {
    std::string type;
    uint32_t id;
    std::vector<std::string> strings;
    std::string text;
  };
  const Case cases[] = {
      {"information", 0, {"The service Qvan was installed."}, "The service Qvan was installed."},
      {"information", 1, {"started"}, "The Quorvane service was started."},
      {"error",
       50,
       {"GetStackAddress", "Out of memory"},
       "A Exception occurred at GetStackAddress.\\nThe error message reads:\\nOut of memory"},
      {"error",
       100,
       {"Connection reset"},
       "A sockt error occurred.\\nThe error message reads:\\nConnection reset"},
      {"warning", 101, {}, "Flushing Buffer!\\nNo End-Pattern found."},
      {"warning",
       110,
       {"a", "b", "c"},
       "A ClientSockt error occurred.\\nThe error message reads:\\na\\nb\\nc"},
      {"warning", 111, {"20"}, "Request reject!\\nMaximum connection of 20 reached!"},
      {"error", 120, {"no profile"}, "A CDO library error occurred. The error message reads:\\nno profile"},
      {"error",
       121,
       {"1.1", "1.21"},
       "Wrong CDO library Version.\\nThe curent Version is 1.1. At least the Version 1.21 is required."},
      {"error",
       122,
       {"10.0.0.7", "jsmith"},
       "Logon attempt from 10.0.0.7 to the mailbox jsmith has failed. Logon failure: unknown user name or "
       "bad "
       "password."},
      {"error",
       125,
       {"5.0", "5.5"},
       "Wrong Exchange Server Version.\\nThe curent Version is 5.0. The Version 5.5 is required."},
      {"error",
       126,
       {"1", "2"},
       "Wrong Exchange Server - ServicePack.\\nThe curent ServicePack is 1. At least the ServicePack 2 is "
       "required."},
      {"warning", 200, {"list", "x"}, "A Messagebuild error occurred.\\nCannot open the list form x."},
  };
  for (const Case& event : cases) Write(event.type, event.id, event.strings);
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  const auto lines = JsonLines({"-n", "100"});
  ASSERT_EQ(lines.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string& line = lines[std::size(cases) - 1 - i];  // newest first
    EXPECT_EQ(Field(line, "id"), std::to_string(cases[i].id));
    EXPECT_EQ(Field(line, "type"), "\"" + cases[i].type + "\"");
    EXPECT_EQ(Field(line, "message"), "\"" + cases[i].text + "\"") << cases[i].id;
  }
}

TEST_F(EventsCommandTest, SaysSoWhenNoCatalogueHasTheMessage) {
  {
    TRegistry registry;
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(kSourcesKey + "Other", true));
    registry.WriteString("EventMessageFile", "/nonexistent/other.exe");
  }
  Write("error", 7, {"first", "second"}, "Other");
  Write("error", 4711, {"x"});  // our catalogue has no message 4711
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  ASSERT_EQ(Run({"list"}), 0);
  const std::string listing = out_.str();
  EXPECT_NE(listing.find("The description for Event ID 7 from source Other cannot be found."),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("included with the event:\n\nfirst\nsecond\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("The description for Event ID 4711 from source Qvan cannot be found."),
            std::string::npos);
  const auto lines = JsonLines({"--source", "other"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "message_found"), "false");
  EXPECT_EQ(Field(lines[0], "strings"), "[\"first\",\"second\"]");
}

TEST_F(EventsCommandTest, WriteRegistersOnlyAMissingSource) {
  Write("information", 1, {"started"}, "NewSource");
  TRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey(kSourcesKey + "NewSource", false));
  EXPECT_EQ(registry.ReadString("EventMessageFile"), platform::GetModuleFileName());
  registry.WriteString("EventMessageFile", "/opt/other/program");
  registry.CloseKey();
  Write("information", 1, {"started"}, "NEWSOURCE");
  ASSERT_TRUE(registry.OpenKey(kSourcesKey + "NewSource", false));
  EXPECT_EQ(registry.ReadString("EventMessageFile"), "/opt/other/program");
}

TEST_F(EventsCommandTest, ListsTheNewestFirstAndFilters) {
  Write("information", 1, {"started"});
  Write("warning", 111, {"20"});
  Write("error", 122, {"10.0.0.7", "jsmith"}, "Other");
  Write("warning", 111, {"30"});
  Write("error", 50, {"here", "boom"});
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);

  auto ids = [this](const std::vector<std::string>& args) {
    std::vector<std::string> found;
    for (const std::string& line : JsonLines(args)) found.push_back(Field(line, "record"));
    return found;
  };
  EXPECT_EQ(ids({}), (std::vector<std::string>{"5", "4", "3", "2", "1"}));
  EXPECT_EQ(ids({"-n", "2"}), (std::vector<std::string>{"5", "4"}));
  EXPECT_EQ(ids({"--type", "Warning"}), (std::vector<std::string>{"4", "2"}));
  EXPECT_EQ(ids({"--id", "111", "-n", "1"}), std::vector<std::string>{"4"});
  EXPECT_EQ(ids({"--source", "OTHER"}), std::vector<std::string>{"3"});
  EXPECT_EQ(ids({"--source=qvan", "--type=error"}), std::vector<std::string>{"5"});
  EXPECT_EQ(ids({"--since", "-1h"}).size(), 5u);
  EXPECT_TRUE(ids({"--since", "@" + std::to_string(time(nullptr) + 3600)}).empty());
  EXPECT_TRUE(ids({"--type", "audit-failure"}).empty());

  // The text form separates events by an empty line.
  ASSERT_EQ(Run({"list", "-n", "2"}), 0);
  EXPECT_NE(out_.str().find("boom\n\n"), std::string::npos) << out_.str();
  const std::string text = out_.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), (1 + 3) + 1 + (1 + 2)) << text;
}

TEST_F(EventsCommandTest, AnEmptyLogSaysSo) {
  ASSERT_EQ(Run({"list"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "No events.\n");
  ASSERT_EQ(Run({"list", "--source", "Qvan", "--type", "error"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "No events match.\n");
  // A program reading JSON gets nothing to read.
  ASSERT_EQ(Run({"list", "--json"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "");
}

TEST_F(EventsCommandTest, WrongArgumentsAreOneLineErrorsWithExitCode2) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"remove"},
      {"write", "--type", "error", "--id", "1"},
      {"write", "--source", "Qvan", "--type", "fatal", "--id", "1"},
      {"write", "--source", "Qvan", "--type", "audit-success", "--id", "1"},
      {"write", "--source", "Qvan", "--type", "error", "--id", "4294967296"},
      {"write", "--source", "Qvan", "--type", "error", "--id", "12a"},
      {"write", "--source", "Qvan", "--type", "error", "--id", "1", "--category", "65536"},
      {"write", "--source", "", "--type", "error", "--id", "1"},
      {"write", "--source", "A\\B", "--type", "error", "--id", "1"},
      {"write", "--source", "Qvan", "--source", "Other", "--type", "error", "--id", "1"},
      {"list", "--since", "last tuesday"},
      {"list", "--since", "2024-02-30"},
      {"list", "-n", "0"},
      {"list", "--id"},
      {"list", "--colour"},
      {"list", "extra"},
  };
  for (const auto& args : wrong) {
    EXPECT_EQ(Run(args), 2) << (args.empty() ? "" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
    ExpectOneLineError("events", "");
  }
  EXPECT_TRUE(ReadAllEvents().empty());
}

TEST_F(EventsCommandTest, ARefusedWriteIsAOneLineErrorWithExitCode1) {
  QV_SKIP_REST_ON_WINDOWS("a write-protected event-log file (Windows keeps its own event log)");
  Write("information", 1, {"started"});
  ASSERT_TRUE(platform::SetFileAttributes(dir_.File("eventlog.db"), platform::FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Run({"write", "--source", "Qvan", "--type", "error", "--id", "50", "a", "b"}), 1);
  ExpectOneLineError("events", "Access is denied.");
  ASSERT_TRUE(platform::SetFileAttributes(dir_.File("eventlog.db"), platform::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ReadAllEvents().size(), 1u);
}

TEST_F(EventsCommandTest, HelpDescribesBothActions) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"list", "--help"}}) {
    ASSERT_EQ(Run(args), 0);
    EXPECT_NE(out_.str().find("qvanctl events list"), std::string::npos);
    EXPECT_NE(out_.str().find("qvanctl events write"), std::string::npos);
    EXPECT_EQ(err_.str(), "");
  }
  // After "--" an argument is a string, also "--help".
  Write("information", 0, {"--help"});
  QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoEvents);
  EXPECT_EQ(ReadAllEvents().at(0).Strings, std::vector<std::string>{"--help"});
}

TEST(EventTime, ReadsTheSinceForms) {
  const int64_t now = 1714557603;  // 2024-05-01 10:00:03 UTC
  int64_t time = 0;
  ASSERT_TRUE(ParseSinceTime("-90s", now, &time));
  EXPECT_EQ(time, now - 90);
  ASSERT_TRUE(ParseSinceTime("-2h", now, &time));
  EXPECT_EQ(time, now - 7200);
  ASSERT_TRUE(ParseSinceTime("-1d", now, &time));
  EXPECT_EQ(time, now - 86400);
  ASSERT_TRUE(ParseSinceTime("@1000", now, &time));
  EXPECT_EQ(time, 1000);
  ASSERT_TRUE(ParseSinceTime("now", now, &time));
  EXPECT_EQ(time, now);

  ASSERT_TRUE(ParseSinceTime("2024-05-01 08:30", now, &time));
  EXPECT_EQ(LocalTimeText(time), "2024-05-01 08:30:00");
  ASSERT_TRUE(ParseSinceTime("2024-02-29T23:59:58", now, &time));
  EXPECT_EQ(LocalTimeText(time), "2024-02-29 23:59:58");
  ASSERT_TRUE(ParseSinceTime("2024-05-01", now, &time));
  EXPECT_EQ(LocalTimeText(time), "2024-05-01 00:00:00");
  int64_t today = 0, yesterday = 0;
  ASSERT_TRUE(ParseSinceTime("today", now, &today));
  ASSERT_TRUE(ParseSinceTime("yesterday", now, &yesterday));
  EXPECT_EQ(LocalTimeText(today), LocalTimeText(now).substr(0, 10) + " 00:00:00");
  EXPECT_EQ(LocalTimeText(yesterday).substr(11), "00:00:00");
  EXPECT_GE(today - yesterday, 23 * 3600);
  EXPECT_LE(today - yesterday, 25 * 3600);

  for (const char* wrong : {"", "-", "-5", "-5w", "@", "@x", "2024-5-1", "2023-02-29", "2024-05-01 24:00",
                            "2024-05-01 10:00:00x", "2024-05-01 10", "tomorrow"})
    EXPECT_FALSE(ParseSinceTime(wrong, now, &time)) << wrong;
}

TEST(EventTime, WritesUtcTimes) {
  EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(UtcTimeText(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(UtcTimeText(1714557603), "2024-05-01T10:00:03Z");
  EXPECT_EQ(UtcTimeText(-1), "1969-12-31T23:59:59Z");
}

TEST(JsonText, EscapesWhatJsonCannotCarry) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c\r\n\t"), "\"a\\\"b\\\\c\\r\\n\\t\"");
  EXPECT_EQ(JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonString("J\xC3\xBCrgen"), "\"J\xC3\xBCrgen\"");
}

}  // namespace
}  // namespace qv::tools
