// The service program run as the service: start with its checks, requests over 127.0.0.1, pause,
// continue, stop, and the starts that fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/errors/win_error.h"
#include "testing/quorvane_fixture.h"

namespace qv {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace platform;
using namespace qv::testing;

class QuorvaneService : public QuorvaneTest {
 protected:
  void SetUp() override {
    WriteSettings();
    CreateStore();
    Install();
  }

  std::string ListenLine() const { return "Socket listen on Port:" + std::to_string(port_); }
};

TEST_F(QuorvaneService, StartsAnswersPausesContinuesAndStops) {
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  ASSERT_TRUE(WaitForText(TraceFile(), " Qvan started\r\n"));
  EXPECT_THAT(Trace(), HasSubstr(ListenLine() + "\r\n"));
  EXPECT_THAT(QvanEvents(), Contains("1 4: started"));

  // A phone without a mailbox name gets the logon form.
  const std::optional<std::string> form = HttpGet(port_, "/?U=&P=");
  ASSERT_TRUE(form.has_value());
  EXPECT_THAT(*form, StartsWith("HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n"));
  EXPECT_THAT(*form,
              AllOf(HasSubstr("<card id=\"logon\" title=\"Quorvane\">"), HasSubstr("<input name=\"U\""),
                    HasSubstr("<input name=\"P\" type=\"password\"/>")));

  // With the mailbox and its password the request threads reach the calendar through the library.
  const std::optional<std::string> list =
      HttpGet(port_, std::string("/?U=") + kMailbox + "&P=" + kMailboxPassword + "&E=&X=");
  ASSERT_TRUE(list.has_value());
  EXPECT_THAT(*list, AllOf(StartsWith("HTTP/1.0 200 OK\r\n"), HasSubstr(">10:00 AM Review<")));
  ASSERT_TRUE(WaitForText(RequestLogFile(), std::string("/?U=") + kMailbox + "&P=********&E=&X="));
  EXPECT_THAT(FileText(RequestLogFile()), Not(HasSubstr(kMailboxPassword)));

  ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED));
  EXPECT_FALSE(Accepts(port_));
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
  EXPECT_TRUE(WaitForText(TraceFile(), " Qvan paused\r\n"));  // the trace is written by its own thread

  // A port changed meanwhile is not seen before the process starts anew.
  SetMachineDword(kSettingsKey, "Port", FreeLoopbackPort());
  ASSERT_TRUE(Control(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING));
  EXPECT_TRUE(Accepts(port_));
  ASSERT_TRUE(WaitForText(TraceFile(), " Qvan continued\r\n"));
  EXPECT_EQ(CountOf(Trace(), ListenLine() + "\r\n"), 2u);
  const std::optional<std::string> again = HttpGet(port_, "/?U=&P=");
  ASSERT_TRUE(again.has_value());
  EXPECT_THAT(*again, HasSubstr("<card id=\"logon\""));

  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
  EXPECT_FALSE(Accepts(port_));
  EXPECT_THAT(Trace(), HasSubstr(" Qvan stopped\r\n"));
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: paused",
                                        "1 4: continued", "1 4: stopped"));
  EXPECT_EQ(Status().dwWin32ExitCode, 0u);
}

TEST_F(QuorvaneService, StoppingEndsARequestInProgressWithoutAnAnswer) {
  // The request thread would wait a minute for the rest of the request.
  SetMachineDword(kSettingsKey, "ServerTimeOut", 60000);
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  TcpSocket client;
  ASSERT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
  ASSERT_TRUE(client.Send("GET /?U=&P= HTTP/1.0\r\nHost: 127.0.0.1\r\n"));
  ASSERT_TRUE(WaitForText(TraceFile(), "Thread started: "));

  const uint32_t start = GetTickCount();
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_LT(GetTickCount() - start, 30000u);  // long before the request thread's own time-out
  EXPECT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());

  std::string answer;
  size_t received = 0;
  while (client.Receive(kPatience, 4096, &answer, &received) && received > 0) {
  }
  EXPECT_EQ(answer, "");
  EXPECT_THAT(Trace(), AllOf(HasSubstr("Thread terminated: "), HasSubstr(" Qvan stopped\r\n")));
  EXPECT_THAT(Trace(), Not(HasSubstr("HTTP/1.0 200 OK")));
}

TEST_F(QuorvaneService, ListensOnTheAddressesOfListenAddressAlone) {
  SetMachineText(kSettingsKey, "ListenAddress", "127.0.0.1");
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  TcpSocket client;
  EXPECT_TRUE(client.Connect("127.0.0.1", port_, kPatience));
  TcpSocket elsewhere;
  EXPECT_FALSE(elsewhere.Connect("127.0.0.2", port_, kPatience));
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
}

TEST_F(QuorvaneService, StoppingAPausedServiceSucceeds) {
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED));
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_EQ(WaitForServiceProcess(), 0u);
  EXPECT_THAT(Trace(), HasSubstr(" Qvan stopped\r\n"));
  EXPECT_THAT(QvanEvents(),
              ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: paused", "1 4: stopped"));
}

TEST_F(QuorvaneService, AStartOnAPortInUseFailsWithASocketError) {
  TcpSocket holder;
  ASSERT_TRUE(holder.Listen("127.0.0.1", port_, 1));
  EXPECT_EQ(StartService(), SERVICE_STOPPED);
  EXPECT_EQ(WaitForServiceProcess(), 1u);
  const SERVICE_STATUS status = Status();
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 1u);

  // The port that failed, in the system's words, in the event, the trace and one line on standard
  // error.
  const std::string message =
      "cannot listen on 0.0.0.0:" + std::to_string(port_) + ": Address already in use";
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "100 1: " + message));
  EXPECT_THAT(Trace(), HasSubstr(" Socket error " + message + "\r\n"));
  EXPECT_THAT(Trace(), AllOf(Not(HasSubstr("Socket listen on Port:")), Not(HasSubstr("Qvan started"))));
  EXPECT_EQ(FileText(OutputFile()), "quorvane: " + message + "\n");
}

TEST_F(QuorvaneService, AStartWithoutTheCalendarStoreRegisteredSaysHowToRegisterIt) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS");
  EXPECT_EQ(StartService(), SERVICE_STOPPED);
  EXPECT_EQ(WaitForServiceProcess(), 1u);
  EXPECT_EQ(FileText(OutputFile()),
            "quorvane: the calendar store is not registered; run: quorvane-store register\n");
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "125 1: 1.0.0|5.5"));
  // The manager keeps the line for its clients (qvanctl sc start), as systemd does for its status.
  {
    const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_CONNECT));
    const ServiceHandle service(OpenService(manager.Get(), kQuorvane, SERVICE_QUERY_STATUS));
    std::string text;
    ASSERT_TRUE(QueryServiceStatusText(service.Get(), &text));
    EXPECT_EQ(text, "the calendar store is not registered; run: quorvane-store register");
  }

  // A program registered that is not there (moved away, say): the same fix.
  SetMachineText("SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "ImagePath", sandbox_.Path() + "/gone");
  EXPECT_EQ(StartService(), SERVICE_STOPPED);
  EXPECT_EQ(FileText(OutputFile()), "quorvane: the information store's program \"" + sandbox_.Path() +
                                        "/gone\" is not there; run: quorvane-store register\n");
}

TEST_F(QuorvaneService, ALibraryTooOldStopsTheStartBeforeTheServerCheck) {
  // Without the information store's program the server check would refuse too (event 125).
  SetMachineText("SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "ImagePath", "");
  sandbox_.SetEnvironment("QV_TEST_CDO_VERSION", "1.1");
  EXPECT_EQ(StartService(QV_LIBRARY_VERSION_PROGRAM), SERVICE_STOPPED);
  EXPECT_EQ(WaitForServiceProcess(), 1u);
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "121 1: 1.1|1.2"));
  EXPECT_THAT(Trace(), HasSubstr(" CDO wrong Version: only 1.1\r\n"));
  EXPECT_EQ(FileText(OutputFile()),
            "quorvane: the messaging library has version 1.1; 1.2 or later is needed\n");
  EXPECT_THAT(Trace(), AllOf(Not(HasSubstr("Wrong Exchange Server")), Not(HasSubstr("Socket listen"))));

  // The service program itself has its library's own version, whatever its environment says: the
  // server check runs, and refuses the service's own file.
  sandbox_.SetEnvironment("QUORVANE_CDO_VERSION", "1.1");
  EXPECT_EQ(StartService(), SERVICE_STOPPED);
  EXPECT_EQ(WaitForServiceProcess(), 1u);
  EXPECT_THAT(QvanEvents(),
              ElementsAre("0 4: The Quorvane has installed.", "121 1: 1.1|1.2", "125 1: 1.0.0|5.5"));
}

TEST_F(QuorvaneService, HelpVersionAndAMistakeNeitherListenNorTouchTheSettings) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
  std::string output;
  for (const char* help : {"--help", "-h", "/?", "/HELP"}) {
    EXPECT_EQ(RunProgram({help}, &output), 0u) << help;
    EXPECT_THAT(output, StartsWith("Usage: quorvane\n")) << help;
  }
  EXPECT_EQ(RunProgram({"--version"}, &output), 0u);
  EXPECT_EQ(output, std::string("quorvane (Quorvane) ") + QV_VERSION_TEXT + "\n");
  EXPECT_EQ(RunProgram({"/INSTAL"}, &output), 2u);
  EXPECT_EQ(output, "quorvane: unknown argument \"/INSTAL\" (try quorvane --help)\n");
  EXPECT_EQ(RunProgram({"/ServiceStartName=alice"}, &output), 2u);
  // None of them took the settings' snapshot, which writes the defaults of a fresh machine.
  EXPECT_FALSE(MachineKeyExists(kSettingsKey));
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
}

TEST_F(QuorvaneService, AMistypedSettingEndsTheProgramWithOneLine) {
  SetMachineText(kSettingsKey, "MaxConnections", "ab");
  std::string output;
  EXPECT_EQ(RunProgram({}, &output), 1u);
  EXPECT_EQ(output, "quorvane: Invalid data type for 'MaxConnections'; run: quorvane --check\n");
  EXPECT_EQ(Status().dwCurrentState, SERVICE_STOPPED);
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed."));
}

}  // namespace
}  // namespace qv
