// The rights of the files the service program and the administrator's tool create, from a state
// directory that does not exist yet: the directory is its owner's alone, so are the databases (the
// event log may be read by its group), the trace, the request log and the tool's exports; databases
// an earlier version left readable by everyone are made private again when they are next opened.
// The tool runs in this process, the service as its program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "testing/quorvane_fixture.h"
#include "tools/qvanctl.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace qv::testing;

constexpr fs::perms kOwnerReadWrite = fs::perms::owner_read | fs::perms::owner_write;

fs::perms Permissions(const std::string& path) {
  return fs::symlink_status(path).permissions() & fs::perms::mask;
}

class FileModes : public QuorvaneTest {
 protected:
  void SetUp() override {
    state_ = sandbox_.Path() + "/state";
    sandbox_.SetEnvironment("QUORVANE_STATE_DIR", state_);
  }

  // Runs qvanctl in this process with the text as its standard input; its exit code.
  int Qvanctl(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    tools::ToolStreams io{in, out, err};
    const int code = tools::RunQvanctl(arguments, io);
    EXPECT_EQ(code, 0) << err.str();
    return code;
  }

  std::string state_;
};

TEST_F(FileModes, NothingTheToolOrTheServiceWritesIsReadableByOthers) {
  ASSERT_FALSE(fs::exists(state_));
  Qvanctl({"account", "add", kMailbox, "--password-stdin"}, std::string(kMailboxPassword) + "\n");
  Qvanctl({"mailbox", "add", kMailbox, "--owner", kMailbox});
  Qvanctl({"calendar", "import", kMailbox, "-"},
          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Test//EN\r\nBEGIN:VEVENT\r\nUID:a@b\r\n"
          "DTSTART:20300101T100000\r\nDURATION:PT1H\r\nSUMMARY:Review\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  const std::string calendar_export = sandbox_.Path() + "/calendar.ics";
  const std::string settings_export = sandbox_.Path() + "/settings.reg";
  Qvanctl({"calendar", "export", kMailbox, calendar_export});
  Qvanctl({"reg", "export", "HKLM\\SYSTEM", settings_export, "/y"});

  // Databases an earlier version made readable by everyone.
  for (const char* name : {"/registry.db", "/calendar.db"})
    fs::permissions(state_ + name, kOwnerReadWrite | fs::perms::group_read | fs::perms::others_read);
  WriteSettings();
  Install();
  ASSERT_EQ(StartService(), platform::SERVICE_RUNNING) << FileText(OutputFile());
  const auto page = HttpGet(port_, std::string("/?U=") + kMailbox + "&P=" + kMailboxPassword);
  ASSERT_TRUE(page.has_value());
  ASSERT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
  ASSERT_EQ(WaitForServiceProcess(), 0u);

  EXPECT_EQ(Permissions(state_), fs::perms::owner_all);
  for (const char* name : {"/registry.db", "/calendar.db", "/accounts.db"})
    EXPECT_EQ(Permissions(state_ + name), kOwnerReadWrite) << name;
  EXPECT_EQ(Permissions(state_ + "/eventlog.db"), kOwnerReadWrite | fs::perms::group_read);
  for (const std::string& path : {TraceFile(), RequestLogFile(), calendar_export, settings_export})
    EXPECT_EQ(Permissions(path), kOwnerReadWrite) << path;
  // Whatever else the state directory holds (journals) is its owner's and its group's at most; the
  // service's run folder, which holds no data, is reached through the private directory alone.
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(state_)) {
    if (entry.path().string().find("/services") != std::string::npos) continue;
    EXPECT_EQ(Permissions(entry.path().string()) & fs::perms::others_all, fs::perms::none) << entry.path();
  }
}

}  // namespace
}  // namespace qv
