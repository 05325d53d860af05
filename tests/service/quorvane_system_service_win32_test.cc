// The service program under the system's own service control manager: installed by its /INSTALL,
// started, paused, continued and stopped through the manager, answering over the network with the
// same bytes as on Linux and with a list page from the machine's calendar store, and removed by
// /UNINSTALL. The manager starts the program with the
// machine's registry and environment, not a test's, so these tests write the machine's settings
// themselves and take away all they wrote; where the service or its settings exist already (a real
// installation), they touch nothing and are skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e/service_decks.h"
#include "platform/accounts/accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/process/environment.h"
#include "platform/process/host_system.h"
#include "platform/process/process.h"
#include "platform/services/service_control.h"
#include "store/calendar_store.h"
#include "store/information_store.h"
#include "support/date_time.h"
#include "testing/loopback_client.h"
#include "testing/machine_registry.h"
#include "testing/platform_checks.h"
#include "testing/quorvane_entries.h"
#include "testing/stand_in_origin.h"
#include "testing/system_services.h"

namespace qv {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace platform;
using namespace qv::testing;

constexpr const char* kServiceEntryKey = "SYSTEM\\CurrentControlSet\\Services\\Quorvane";
constexpr const char* kInformationStoreKey = "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS";
constexpr const char* kVendorKey = "Software\\HOLLBERG";  // the settings key's parent

std::string ServiceProgram() {
  return WindowsPath(QV_SERVICE_PROGRAM);
}

ServiceHandle OpenQuorvane(uint32_t access) {
  return OpenSystemService(kQuorvane, access);
}

// Waits until the service reports the state; the last status read (all zero when there is no service).
SERVICE_STATUS_PROCESS WaitForState(uint32_t state) {
  return WaitForServiceState(OpenQuorvane(SERVICE_QUERY_STATUS), state);
}

class QuorvaneUnderSystemManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (OpenQuorvane(SERVICE_QUERY_STATUS) || MachineKeyExists(kSettingsKey) ||
        MachineKeyExists(kDescriptionKey) || MachineKeyExists(kEventSourceKey))
      GTEST_SKIP() << "the service Quorvane or its settings exist on this machine already; left as they are";
    owns_machine_entries_ = true;
    owns_vendor_key_ = !MachineKeyExists(kVendorKey);
    // An information store registered already (a real one) is used as it is.
    owns_information_store_ = !MachineKeyExists(kInformationStoreKey);
    files_ = CreateTemporaryDirectory("qvservice-");
    ASSERT_FALSE(files_.empty()) << GetLastError();

    port_ = FreeLoopbackPort();
    ASSERT_NE(port_, 0);
    SetMachineDword(kSettingsKey, "Port", port_);
    SetMachineDword(kSettingsKey, "TraceDetailness", 3);
    SetMachineText(kSettingsKey, "TraceFile", TraceFile());
    SetMachineText(kSettingsKey, "LogFile", files_ + "\\Qvan.log");
  }

  void TearDown() override {
    if (!owns_machine_entries_) return;
    RemoveSystemService(kQuorvane);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, owns_vendor_key_ ? kVendorKey : kSettingsKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kDescriptionKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kEventSourceKey);
    if (owns_information_store_) DeleteKeyTree(HKEY_LOCAL_MACHINE, kInformationStoreKey);
    if (!files_.empty()) DeleteTree(files_);
    if (!made_state_directory_.empty()) DeleteTree(made_state_directory_);
  }

  std::string TraceFile() const { return files_ + "\\Qvan.trace"; }
  std::string Trace() const { return FileText(TraceFile()); }

  // The calendar store's maintenance program as the information store's program, so that the
  // start-up check of the server's version passes.
  void RegisterInformationStore() {
    if (!owns_information_store_) return;
    const StoreProgramRegistration registration = RegisterStoreProgram(WindowsPath(QV_STORE_PROGRAM), true);
    ASSERT_EQ(registration.outcome, StoreProgramRegistration::Outcome::kRegistered) << registration.reason;
  }

  // Runs the service program with the arguments to its end; its exit code, its output in *output.
  uint32_t RunProgram(const std::vector<std::string>& arguments, std::string* output) {
    const std::string output_file = files_ + "\\quorvane.out";
    DeleteFile(output_file);
    ChildProcess child;
    if (!child.Start(ServiceProgram(), arguments, output_file)) {
      ADD_FAILURE() << "quorvane.exe did not start: " << GetLastError();
      return 0xFFFF;
    }
    uint32_t exit_code = 0xFFFF;
    if (!child.Wait(&exit_code, kPatience)) {
      TerminateProcessById(child.ProcessId(), 1);
      child.Wait(&exit_code);
      ADD_FAILURE() << "quorvane.exe did not end";
    }
    *output = FileText(output_file);
    return exit_code;
  }

  void Install() {
    std::string output;
    ASSERT_EQ(RunProgram({"/INSTALL", "/SILENT"}, &output), 0u) << output;
    EXPECT_EQ(output, "");
  }

  void Uninstall() {
    std::string output;
    ASSERT_EQ(RunProgram({"/UNINSTALL", "/SILENT"}, &output), 0u) << output;
    EXPECT_EQ(output, "");
  }

  // Starts the installed service through the manager; the state it settles in.
  uint32_t Start() {
    const ServiceHandle service = OpenQuorvane(SERVICE_START | SERVICE_QUERY_STATUS);
    // Wine's manager waits for a start that fails at once and reports the service's error; Windows
    // reports success as soon as the program has connected.
    if (!service ||
        (!StartService(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_SPECIFIC_ERROR)) {
      ADD_FAILURE() << "the manager did not start the service: " << GetLastError();
      return 0;
    }
    SERVICE_STATUS_PROCESS status{};
    const uint32_t start = GetTickCount();
    while (QueryServiceStatusEx(service.Get(), &status) && status.dwCurrentState == SERVICE_START_PENDING &&
           GetTickCount() - start < kPatience)
      Sleep(20);
    return status.dwCurrentState;
  }

  // Sends a control through the manager and waits until the service reports the state.
  bool Control(uint32_t control, uint32_t state) {
    const ServiceHandle service = OpenQuorvane(SERVICE_ALL_ACCESS);
    SERVICE_STATUS ignored;
    if (!service || !ControlService(service.Get(), control, &ignored)) return false;
    return WaitForState(state).dwCurrentState == state;
  }

  std::string ListenLine() const { return "Socket listen on Port:" + std::to_string(port_) + "\r\n"; }

  bool owns_machine_entries_ = false;
  bool owns_vendor_key_ = false;
  bool owns_information_store_ = false;
  std::string files_;
  std::string made_state_directory_;  // the machine's state directory, when a test made it
  uint16_t port_ = 0;
};

const std::string kLogonFormAnswer = WmlResponse(ServiceDeck(kLogonFormBody));

TEST_F(QuorvaneUnderSystemManager, IsInstalledStartedPausedContinuedStoppedAndRemoved) {
  RegisterInformationStore();
  Install();
  // The program's path holds no blank here, so the command line is the path as it is.
  EXPECT_EQ(MachineValue(kServiceEntryKey, "ImagePath"), ServiceProgram());
  EXPECT_EQ(MachineValue(kServiceEntryKey, "DisplayName"), "Quorvane");
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), kDescription);
  EXPECT_EQ(MachineValue(kEventSourceKey, "EventMessageFile"), ServiceProgram());

  ASSERT_EQ(Start(), SERVICE_RUNNING) << Trace();
  ASSERT_TRUE(WaitForText(TraceFile(), " Qvan started\r\n")) << Trace();
  EXPECT_THAT(Trace(), HasSubstr(ListenLine()));
  // The logon form over Winsock, byte for byte the answer of the Linux build.
  EXPECT_EQ(HttpGet(port_, "/?U=&P="), kLogonFormAnswer);

  ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED));
  EXPECT_FALSE(Accepts(port_));
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
  EXPECT_TRUE(WaitForText(TraceFile(), " Qvan paused\r\n"));

  ASSERT_TRUE(Control(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING));
  EXPECT_TRUE(WaitForText(TraceFile(), " Qvan continued\r\n"));
  EXPECT_EQ(HttpGet(port_, "/?U=&P="), kLogonFormAnswer);

  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_EQ(WaitForState(SERVICE_STOPPED).dwWin32ExitCode, 0u);
  EXPECT_TRUE(WaitForText(TraceFile(), " Qvan stopped\r\n"));
  EXPECT_FALSE(Accepts(port_));

  Uninstall();
  EXPECT_FALSE(OpenQuorvane(SERVICE_QUERY_STATUS));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(MachineKeyExists(kEventSourceKey));
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), std::nullopt);
}

TEST_F(QuorvaneUnderSystemManager, RemovalStopsAPausedServiceFirst) {
  RegisterInformationStore();
  Install();
  ASSERT_EQ(Start(), SERVICE_RUNNING) << Trace();
  ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED));

  Uninstall();
  EXPECT_FALSE(OpenQuorvane(SERVICE_QUERY_STATUS));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_TRUE(WaitForText(TraceFile(), " Qvan stopped\r\n")) << Trace();
  EXPECT_FALSE(Accepts(port_));
}

TEST_F(QuorvaneUnderSystemManager, WithoutTheInformationStoreTheStartIsRefusedWithTheServiceCode) {
  if (!owns_information_store_) GTEST_SKIP() << "an information store is registered on this machine";
  Install();
  // Installation registered the calendar store's program; taken away again, the check reads the
  // service's own version resource: 1.0.0, not 5.5.
  EXPECT_TRUE(MachineKeyExists(kInformationStoreKey));
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kInformationStoreKey);
  ASSERT_EQ(Start(), SERVICE_STOPPED);
  const SERVICE_STATUS_PROCESS status = WaitForState(SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 1u);
  EXPECT_TRUE(WaitForText(TraceFile(), "Wrong Exchange Server Version: 1.0.0\r\n")) << Trace();
  EXPECT_THAT(Trace(), Not(HasSubstr("Socket listen on Port:")));
  EXPECT_FALSE(Accepts(port_));
}

TEST_F(QuorvaneUnderSystemManager, AListPageComesFromTheMachinesCalendarStore) {
  // Wine takes any password for an account, and keeps no account made here: the mailbox belongs to
  // the account this test runs as. On Windows that would need its password.
  if (!RunsUnderWine()) GTEST_SKIP() << "the password of the account the test runs as is not known";
  if (DirectoryExists(PlatformStateDirectory()))
    GTEST_SKIP() << "the machine's state directory exists already; left as it is";
  made_state_directory_ = PlatformStateDirectory();  // removed once the service has gone
  const std::string user = GetEnvironmentVariable("USERNAME").value_or("");
  Sid owner;
  std::string domain;
  ASSERT_TRUE(LookupAccountName(user, &owner, &domain)) << user << ": " << GetLastError();
  {
    CalendarStore store;
    store.AddMailbox(user, "Test Owner", owner);
    const DateTimeParts tomorrow = DecodeDateTime(Date() + 1);
    char start[32];
    std::snprintf(start, sizeof start, "%04d%02d%02dT100000", tomorrow.year, tomorrow.month, tomorrow.day);
    store.Import(
        user,
        std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Test//EN\r\nBEGIN:VEVENT\r\n"
                    "UID:review@example.org\r\nDTSTART:") +
            start + "\r\nDURATION:PT1H\r\nSUMMARY:Review\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
        false);
  }
  RegisterInformationStore();
  Install();
  ASSERT_EQ(Start(), SERVICE_RUNNING) << Trace();
  const std::optional<std::string> list = HttpGet(port_, "/?U=" + user + "&P=any&E=&X=");
  ASSERT_TRUE(list.has_value());
  EXPECT_THAT(*list, HasSubstr(">10:00 AM Review<")) << *list;
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
}

}  // namespace
}  // namespace qv
