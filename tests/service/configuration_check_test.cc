// quorvane --check: the settings and what they name tested without the service and without writing
// a setting; the exit code says whether the service would start as configured.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sockets/tcp_socket.h"
#include "testing/quorvane_fixture.h"

namespace qv {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace platform;
using namespace qv::testing;

class ConfigurationCheck : public QuorvaneTest {
 protected:
  void SetUp() override {
    WriteSettings();
    CreateStore();
  }

  // The program's exit code; its output (standard output, then standard error) in output_.
  uint32_t Check() { return RunProgram({"--check"}, &output_); }

  std::string output_;
};

TEST_F(ConfigurationCheck, GoodSettingsPassAndAreShownWithoutBeingWritten) {
  ASSERT_EQ(Check(), 0u) << output_;
  EXPECT_THAT(output_, AllOf(HasSubstr("  Port                  " + std::to_string(port_) + "\n"),
                             HasSubstr("  MaxConnections        20 (default)\n"),
                             HasSubstr("  TraceFile             \"" + TraceFile() + "\"\n"),
                             HasSubstr("The trace file \"" + TraceFile() + "\" can be written.\n"),
                             HasSubstr("holds 1 mailbox.\n"),
                             HasSubstr("Port " + std::to_string(port_) + " can be bound on 0.0.0.0.\n"),
                             HasSubstr("The configuration is good.\n")));
  EXPECT_THAT(output_, Not(HasSubstr("quorvane: ")));
  // Nothing was written back, and the files it tried are gone again.
  EXPECT_FALSE(MachineValue(kSettingsKey, "DeckHeader").has_value());
  EXPECT_FALSE(MachineValue(kSettingsKey, "logging").has_value());
  EXPECT_FALSE(FileExists(TraceFile()));
  EXPECT_FALSE(FileExists(RequestLogFile()));
}

TEST_F(ConfigurationCheck, AMistypedTraceLevelFailsTheCheckAsItWouldFailTheStart) {
  SetMachineText(kSettingsKey, "TraceDetailness", "2");
  EXPECT_EQ(Check(), 1u);
  EXPECT_THAT(
      output_,
      AllOf(HasSubstr("quorvane: TraceDetailness is REG_SZ but must be REG_DWORD: the service does not "
                      "start\n"),
            HasSubstr("  TraceDetailness       (unusable)\n"), HasSubstr("quorvane: 1 problem found\n")));
  // The service agrees.
  std::string started;
  EXPECT_EQ(RunProgram({}, &started), 1u);
  EXPECT_THAT(started, HasSubstr("Invalid data type for 'TraceDetailness'"));
}

TEST_F(ConfigurationCheck, ReportsUnknownNamesRangesCharSetsFilesAndABusyPort) {
  SetMachineDword(kSettingsKey, "Prot", 8080);
  SetMachineDword(kSettingsKey, "MaxConnections", 0);
  SetMachineText(kSettingsKey, "CharSet", "utf 8");
  SetMachineText(kSettingsKey, "TraceFile", sandbox_.Path());
  SetMachineText(kSettingsKey, "LogFile", sandbox_.Path() + "/no/such/folder/Qvan.log");
  TcpSocket holder;
  ASSERT_TRUE(holder.Listen("0.0.0.0", port_, 1));
  EXPECT_EQ(Check(), 1u);
  EXPECT_THAT(output_, AllOf(HasSubstr("quorvane: \"Prot\" is no setting of the service (Port was meant?)\n"),
                             HasSubstr("quorvane: MaxConnections is 0, outside 1 to 10000\n"),
                             HasSubstr("quorvane: CharSet \"utf 8\" is no character-set name"),
                             HasSubstr("quorvane: cannot write the trace file \"" + sandbox_.Path() +
                                       "\": it is a folder\n"),
                             HasSubstr("quorvane: cannot write the request log \"" + sandbox_.Path() +
                                       "/no/such/folder/Qvan.log\": its folder \"" + sandbox_.Path() +
                                       "/no/such/folder\" is not there\n"),
                             HasSubstr("quorvane: cannot listen on 0.0.0.0:" + std::to_string(port_) +
                                       ": Address already in use\n"),
                             HasSubstr("quorvane: 6 problems found\n")));
}

TEST_F(ConfigurationCheck, AStoreThatIsNotRegisteredFailsWithTheFix) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS");
  EXPECT_EQ(Check(), 1u);
  EXPECT_THAT(output_,
              HasSubstr("quorvane: the calendar store is not registered; run: quorvane-store register\n"));
}

TEST_F(ConfigurationCheck, ThePortOfTheRunningServiceIsNoProblem) {
  Install();
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  EXPECT_EQ(Check(), 0u) << output_;
  EXPECT_THAT(output_,
              HasSubstr("Port " + std::to_string(port_) + " on 0.0.0.0 is in use by the running service.\n"));
}

}  // namespace
}  // namespace qv
