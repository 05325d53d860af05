// Shared pieces of the tests that run the service program quorvane itself (the service suite and the
// end-to-end tests behind the WAP gateway): the sandbox of the service framework's tests (fresh state
// directory, unit and PAM folders inside it, systemd never asked), the settings written into its
// registry first (a free port, full tracing, the trace file and request log in the sandbox), a
// calendar store with a mailbox whose creation registers quorvane-store as the information store's
// program, the program run in the foreground as a child with bounded waits, and what the trace, the
// request log and the event log hold afterwards. A suite that includes this depends on the programs
// and gets their paths as QV_SERVICE_PROGRAM and QV_STORE_PROGRAM (tests/CMakeLists.txt).
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/event_log/event_log.h"
#include "platform/files/file_system.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/services/service_control.h"
#include "platform/sockets/tcp_socket.h"
#include "store/calendar_store.h"
#include "support/date_time.h"
#include "testing/event_log_testing.h"
#include "testing/loopback_client.h"
#include "testing/machine_registry.h"
#include "testing/quorvane_entries.h"
#include "testing/service_sandbox.h"

namespace qv::testing {

constexpr const char* kMailbox = "jdoe";
constexpr const char* kMailboxPassword = "Secret-Pass1";

inline std::string ServiceProgram() {
  return QV_SERVICE_PROGRAM;
}

// The events of the service's source "Qvan", oldest first, as "id type: strings|...".
inline std::vector<std::string> QvanEvents() {
  std::vector<std::string> events;
  for (const auto& record : ReadAllEvents()) {
    if (record.SourceName != "Qvan") continue;
    std::string text = std::to_string(record.EventID) + " " + std::to_string(record.EventType) + ":";
    for (size_t i = 0; i < record.Strings.size(); ++i) text += (i == 0 ? " " : "|") + record.Strings[i];
    events.push_back(text);
  }
  return events;
}

class QuorvaneTest : public ::testing::Test {
 protected:
  QuorvaneTest() {
    sandbox_.Track(kQuorvane);
    sandbox_.SetEnvironment("QUORVANE_SYSLOG_SOCKET", "");
    sandbox_.SetEnvironment("QUORVANE_STORE_PROGRAM", std::string(QV_STORE_PROGRAM));
  }

  ~QuorvaneTest() override { EndService(); }

  std::string TraceFile() const { return sandbox_.Path() + "/Qvan.trace"; }
  std::string RequestLogFile() const { return sandbox_.Path() + "/Qvan.log"; }
  std::string OutputFile() const { return sandbox_.Path() + "/quorvane.out"; }
  std::string Trace() const { return FileText(TraceFile()); }

  // The settings of a test run: a free port, full tracing, the files in the sandbox.
  void WriteSettings() {
    port_ = FreeLoopbackPort();
    ASSERT_NE(port_, 0);
    SetMachineDword(kSettingsKey, "Port", port_);
    SetMachineDword(kSettingsKey, "TraceDetailness", 3);
    SetMachineText(kSettingsKey, "TraceFile", TraceFile());
    SetMachineText(kSettingsKey, "LogFile", RequestLogFile());
  }

  // An account of the machine and its mailbox with one appointment tomorrow at ten.
  void CreateStore() {
    ASSERT_NO_FATAL_FAILURE(CreateMailbox(kMailbox, "John Doe", kMailboxPassword));
    const DateTimeParts tomorrow = DecodeDateTime(Date() + 1);
    char start[32];
    std::snprintf(start, sizeof start, "%04d%02d%02dT100000", tomorrow.year, tomorrow.month, tomorrow.day);
    CalendarStore().Import(
        kMailbox,
        std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Test//EN\r\nBEGIN:VEVENT\r\n"
                    "UID:review@example.org\r\nDTSTART:") +
            start + "\r\nDURATION:PT1H\r\nSUMMARY:Review\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
        false);
  }

  // An account of the machine with the password and a mailbox of the same name that it owns, still
  // empty. Creating the machine's store registers quorvane-store as the information store's program
  // (a later mailbox finds the store made; the service's start-up check fails without the program).
  void CreateMailbox(const std::string& name, const std::string& display_name, const std::string& password) {
    ASSERT_TRUE(platform::NetUserAdd(name, password)) << platform::GetLastError();
    platform::Sid owner;
    std::string domain;
    ASSERT_TRUE(platform::LookupAccountName(name, &owner, &domain));
    CalendarStore store;
    if (store.ProgramRegistration().has_value()) {
      ASSERT_EQ(store.ProgramRegistration()->outcome, StoreProgramRegistration::Outcome::kRegistered)
          << store.ProgramRegistration()->reason;
    }
    store.AddMailbox(name, display_name, owner);
  }

  // The service installed and running with the settings of a test run, in the C locale's date and
  // time patterns whatever the machine's locale, and a mailbox of a machine's account holding the
  // calendar (an iCalendar file) of so many appointments.
  void StartServiceWithCalendar(const std::string& mailbox, const std::string& password,
                                const std::string& ics, size_t appointments) {
    sandbox_.SetEnvironment("LC_ALL", "C");
    WriteSettings();
    ASSERT_NO_FATAL_FAILURE(CreateMailbox(mailbox, "Demo Calendar", password));
    const ImportReport report = CalendarStore().Import(mailbox, ics, false);
    ASSERT_TRUE(report.skipped.empty()) << report.skipped.front().text;
    ASSERT_EQ(report.occurrences, appointments);
    Install();
    ASSERT_EQ(StartService(), platform::SERVICE_RUNNING) << FileText(OutputFile());
  }

  // Runs the program with the arguments to its end; its exit code, its output in *output.
  uint32_t RunProgram(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    platform::DeleteFile(OutputFile());
    platform::ChildProcess child;
    if (!child.Start(ServiceProgram(), arguments, OutputFile())) return 0xFFFF;
    uint32_t exit_code = 0xFFFF;
    if (!child.Wait(&exit_code, kPatience)) {
      platform::TerminateProcessById(child.ProcessId(), 1);
      child.Wait(&exit_code);
      ADD_FAILURE() << "quorvane did not end";
    }
    if (output != nullptr) *output = FileText(OutputFile());
    return exit_code;
  }

  void Install() {
    std::string output;
    ASSERT_EQ(RunProgram({"/INSTALL", "/SILENT"}, &output), 0u) << output;
  }

  // Starts the installed service in the foreground, as systemd does (by default the service program
  // itself); the state it settles in: SERVICE_RUNNING, or SERVICE_STOPPED when the start failed (the
  // process then ends by itself).
  uint32_t StartService(const std::string& program = ServiceProgram()) {
    platform::DeleteFile(OutputFile());
    if (!service_process_.Start(program, {}, OutputFile())) return 0;
    const uint32_t start = platform::GetTickCount();
    for (;;) {
      const platform::SERVICE_STATUS status = Status();
      // The record of an earlier run says stopped too: a stopped state counts once the process has ended.
      if (status.dwCurrentState == platform::SERVICE_RUNNING) return status.dwCurrentState;
      uint32_t exit_code = 0;
      if (service_process_.Wait(&exit_code, 0)) {
        last_exit_code_ = exit_code;
        return Status().dwCurrentState;
      }
      if (platform::GetTickCount() - start > kPatience) return status.dwCurrentState;
      platform::Sleep(10);
    }
  }

  platform::SERVICE_STATUS Status() {
    const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
    const platform::ServiceHandle service(
        platform::OpenService(manager.Get(), kQuorvane, platform::SERVICE_QUERY_STATUS));
    platform::SERVICE_STATUS status;
    if (!service || !platform::QueryServiceStatus(service.Get(), &status))
      status = platform::SERVICE_STATUS();
    return status;
  }

  // Sends a control and waits until the service reports the state.
  bool Control(uint32_t control, uint32_t state) {
    const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
    const platform::ServiceHandle service(
        platform::OpenService(manager.Get(), kQuorvane, platform::SERVICE_ALL_ACCESS));
    platform::SERVICE_STATUS status;
    if (!service || !platform::ControlService(service.Get(), control, &status)) return false;
    return sandbox_.WaitForState(kQuorvane, state);
  }

  // Waits for the foreground process to end; its exit code (0xFFFF when it did not end in time).
  uint32_t WaitForServiceProcess() {
    if (service_process_.ProcessId() == 0) return last_exit_code_;
    uint32_t exit_code = 0xFFFF;
    if (!service_process_.Wait(&exit_code, kPatience)) return 0xFFFF;
    last_exit_code_ = exit_code;
    return exit_code;
  }

  // Stops a service process that still runs, killing it when it does not end.
  void EndService() {
    if (service_process_.ProcessId() == 0) return;
    Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED);
    uint32_t exit_code = 0;
    if (service_process_.Wait(&exit_code, kPatience)) return;
    platform::TerminateProcessById(service_process_.ProcessId(), 1);
    service_process_.Wait(&exit_code);
  }

  ServiceSandbox sandbox_;
  uint16_t port_ = 0;
  platform::ChildProcess service_process_;
  uint32_t last_exit_code_ = 0xFFFF;
};

}  // namespace qv::testing
