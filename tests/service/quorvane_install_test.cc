// Installing and removing the service program: the entry, the description and the event source, the
// account from the command line, and the running service stopped before removal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/errors/win_error.h"
#include "testing/quorvane_fixture.h"

namespace qv {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace platform;
using namespace qv::testing;

std::string EntryValue(const std::string& name) {
  return MachineValue(std::string("SYSTEM\\CurrentControlSet\\Services\\") + kQuorvane, name).value_or("");
}

class QuorvaneInstallation : public QuorvaneTest {
 protected:
  void SetUp() override { WriteSettings(); }
};

TEST_F(QuorvaneInstallation, InstallWritesTheEntryDescriptionAndEventSourceAndRemovalTakesThemAway) {
  // An event source registered elsewhere before: installation points it at this program.
  SetMachineText(kEventSourceKey, "EventMessageFile", "/opt/elsewhere/quorvane");
  std::string output;
  ASSERT_EQ(RunProgram({"-install", "-silent"}, &output), 0u) << output;
  EXPECT_EQ(output, "");
  EXPECT_EQ(EntryValue("DisplayName"), "Quorvane");
  EXPECT_EQ(EntryValue("ImagePath"), ServiceProgram());
  EXPECT_EQ(EntryValue("ObjectName"), "LocalSystem");
  EXPECT_EQ(EntryValue("Start"), "2");
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), kDescription);
  EXPECT_EQ(MachineValue(kEventSourceKey, "EventMessageFile"), ServiceProgram());
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed."));

  // The description is the entry's own; no key of its own makes a service "Qvan" appear.
  EXPECT_FALSE(MachineKeyExists(kEarlierDescriptionKey));

  // The service never ran: removal sends no control and writes no state change. The key an earlier
  // installation wrote the description into goes with it.
  SetMachineText(kEarlierDescriptionKey, "Description", kDescription);
  ASSERT_EQ(RunProgram({"/UnInstall"}, &output), 0u) << output;
  EXPECT_EQ(output, "Service uninstalled successfully\n");
  EXPECT_EQ(EntryValue("ImagePath"), "");
  EXPECT_FALSE(MachineKeyExists(kDescriptionKey));
  EXPECT_FALSE(MachineKeyExists(kEarlierDescriptionKey));
  EXPECT_FALSE(MachineKeyExists(kEventSourceKey));
  EXPECT_THAT(QvanEvents(),
              ElementsAre("0 4: The Quorvane has installed.", "0 4: The Quorvane has uninstalled."));
}

TEST_F(QuorvaneInstallation, InstallingTwiceFailsTheSecondTimeWithoutTouchingTheValues) {
  Install();
  // What an administrator changed afterwards stays as it is.
  SetMachineText(kDescriptionKey, "Description", "Changed by hand");
  SetMachineText(kEventSourceKey, "EventMessageFile", "/opt/elsewhere/quorvane");
  std::string output;
  EXPECT_EQ(RunProgram({"/INSTALL"}, &output), 1u);
  EXPECT_EQ(output,
            "Service \"Quorvane\" failed to install with error: \"The specified service already exists.\"\n");
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), "Changed by hand");
  EXPECT_EQ(MachineValue(kEventSourceKey, "EventMessageFile"), "/opt/elsewhere/quorvane");
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed."));
}

TEST_F(QuorvaneInstallation, TakesTheAccountFromCaseSensitivePrefixesTheLastOneWinning) {
  // Written in lower case the prefixes are other arguments: the system's service account is used.
  std::string output;
  ASSERT_EQ(RunProgram({"/INSTALL", "/servicestartname=nobody-here", "/password=x", "/SILENT"}, &output), 0u)
      << output;
  EXPECT_EQ(EntryValue("ObjectName"), "LocalSystem");
  ASSERT_EQ(RunProgram({"/UNINSTALL", "/SILENT"}), 0u);

  // The account is read (an unknown one fails the installation) ...
  EXPECT_EQ(RunProgram({"/INSTALL", "/ServiceStartName=nobody-here", "/Password=x"}, &output), 1u);
  EXPECT_THAT(output, HasSubstr("Service \"Quorvane\" failed to install with error:"));
  EXPECT_EQ(EntryValue("ImagePath"), "");
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), std::nullopt);

  // ... and a later one overrides it.
  ASSERT_EQ(RunProgram({"/INSTALL", "/ServiceStartName=nobody-here", "/Password=x",
                        "/ServiceStartName=LocalSystem", "/SILENT"},
                       &output),
            0u)
      << output;
  EXPECT_EQ(EntryValue("ObjectName"), "LocalSystem");
}

TEST_F(QuorvaneInstallation, RemovalOfAServiceThatIsNotInstalledDeletesNothing) {
  SetMachineText(kEarlierDescriptionKey, "Description", kDescription);
  SetMachineText(kEventSourceKey, "EventMessageFile", ServiceProgram());
  std::string output;
  EXPECT_EQ(RunProgram({"/UNINSTALL"}, &output), 1u);
  EXPECT_EQ(
      output,
      "Service \"Quorvane\" failed to uninstall with error: \"The specified service does not exist as an "
      "installed service.\"\n");
  EXPECT_EQ(MachineValue(kEarlierDescriptionKey, "Description"), kDescription);
  EXPECT_EQ(MachineValue(kEventSourceKey, "EventMessageFile"), ServiceProgram());
  EXPECT_THAT(QvanEvents(), Not(Contains("0 4: The Quorvane has uninstalled.")));
}

class QuorvaneRemoval : public QuorvaneTest {
 protected:
  void SetUp() override {
    WriteSettings();
    CreateStore();
    Install();
    ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  }
};

TEST_F(QuorvaneRemoval, StopsARunningServiceFirst) {
  std::string output;
  ASSERT_EQ(RunProgram({"/UNINSTALL", "/SILENT"}, &output), 0u) << output;
  EXPECT_EQ(WaitForServiceProcess(), 0u);
  EXPECT_FALSE(Accepts(port_));
  EXPECT_THAT(Trace(), HasSubstr(" Qvan stopped\r\n"));
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: stopped",
                                        "0 4: The Quorvane has uninstalled."));
  EXPECT_EQ(EntryValue("ImagePath"), "");
  EXPECT_FALSE(MachineKeyExists(kEventSourceKey));
  EXPECT_EQ(MachineValue(kDescriptionKey, "Description"), std::nullopt);
}

TEST_F(QuorvaneRemoval, RemovesAStoppedServiceWithoutStoppingItAgain) {
  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_EQ(WaitForServiceProcess(), 0u);
  std::string output;
  ASSERT_EQ(RunProgram({"/UNINSTALL", "/SILENT"}, &output), 0u) << output;
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: stopped",
                                        "0 4: The Quorvane has uninstalled."));
  EXPECT_EQ(EntryValue("ImagePath"), "");
  EXPECT_FALSE(MachineKeyExists(kEventSourceKey));
}

TEST_F(QuorvaneRemoval, StopsAPausedServiceAsWell) {
  ASSERT_TRUE(Control(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED));
  std::string output;
  ASSERT_EQ(RunProgram({"/UNINSTALL", "/SILENT"}, &output), 0u) << output;
  EXPECT_EQ(WaitForServiceProcess(), 0u);
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: paused",
                                        "1 4: stopped", "0 4: The Quorvane has uninstalled."));
  const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_CONNECT));
  EXPECT_FALSE(ServiceHandle(OpenService(manager.Get(), kQuorvane, SERVICE_QUERY_STATUS)));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

}  // namespace
}  // namespace qv
