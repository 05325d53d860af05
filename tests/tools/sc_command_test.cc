#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/service_sandbox.h"
#include "testing/test_service.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using qv::testing::kTestServiceName;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class ScCommandTest : public ToolCommandTest {
 protected:
  qv::testing::ServiceSandbox sandbox_;
};

TEST_F(ScCommandTest, QueryShowsAStoppedServiceAsWindowsDoes) {
  ASSERT_EQ(sandbox_.RunServiceProgram({"/INSTALL", "/SILENT"}), 0u);
  EXPECT_EQ(RunTool({"sc", "query", kTestServiceName}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "\n"
            "SERVICE_NAME: QvTestService\n"
            "        TYPE               : 10  WIN32_OWN_PROCESS\n"
            "        STATE              : 1  STOPPED\n"
            "        WIN32_EXIT_CODE    : 0  (0x0)\n"
            "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
            "        CHECKPOINT         : 0x0\n"
            "        WAIT_HINT          : 0x0\n");
}

TEST_F(ScCommandTest, StartsPausesContinuesAndStopsAService) {
  ASSERT_EQ(sandbox_.RunServiceProgram({"/INSTALL", "/SILENT"}), 0u);
  ASSERT_EQ(RunTool({"sc", "start", kTestServiceName}), 0) << err_.str();
  EXPECT_THAT(out_.str(),
              HasSubstr("        STATE              : 4  RUNNING\n"
                        "                                (STOPPABLE, PAUSABLE, ACCEPTS_SHUTDOWN)\n"));
  EXPECT_THAT(out_.str(), ContainsRegex("\n        PID                : [1-9][0-9]*\n"));

  ASSERT_EQ(RunTool({"sc", "pause", kTestServiceName}), 0) << err_.str();
  EXPECT_THAT(out_.str(), ContainsRegex("STATE              : (6  PAUSE_PENDING|7  PAUSED)\n"));
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, platform::SERVICE_PAUSED));
  ASSERT_EQ(RunTool({"sc", "query", kTestServiceName}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("STATE              : 7  PAUSED\n"));

  ASSERT_EQ(RunTool({"sc", "continue", kTestServiceName}), 0) << err_.str();
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, platform::SERVICE_RUNNING));

  // A restart is a stop and a start: a process of its own, running.
  const std::vector<std::string> before = sandbox_.LogLines();
  ASSERT_EQ(RunTool({"sc", "restart", kTestServiceName}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("        STATE              : 4  RUNNING\n"));
  const std::vector<std::string> after = sandbox_.LogLines();
  ASSERT_GT(after.size(), before.size());
  EXPECT_THAT(std::vector<std::string>(after.begin() + before.size(), after.end()),
              ::testing::IsSupersetOf({"stop", "start"}));

  ASSERT_EQ(RunTool({"sc", "stop", kTestServiceName}), 0) << err_.str();
  EXPECT_THAT(out_.str(), ContainsRegex("STATE              : (3  STOP_PENDING|1  STOPPED)\n"));
  ASSERT_TRUE(sandbox_.WaitForState(kTestServiceName, platform::SERVICE_STOPPED));

  EXPECT_EQ(RunTool({"sc", "stop", kTestServiceName}), 1);
  EXPECT_EQ(err_.str(), "qvanctl sc: ControlService FAILED 1062: The service has not been started.\n");
}

TEST_F(ScCommandTest, AFailedStartShowsTheServicesExitCode) {
  ASSERT_EQ(sandbox_.RunServiceProgram({"/INSTALL", "/SILENT"}), 0u);
  sandbox_.SetEnvironment("QV_TEST_SERVICE_START", "fail");
  EXPECT_EQ(RunTool({"sc", "start", kTestServiceName}), 1);
  EXPECT_EQ(
      err_.str(),
      "qvanctl sc: StartService FAILED 1066: The service has returned a service-specific error code.\n");
  ASSERT_EQ(RunTool({"sc", "query", kTestServiceName}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("        WIN32_EXIT_CODE    : 1066  (0x42a)\n"
                                    "        SERVICE_EXIT_CODE  : 1  (0x1)\n"));

  // A service that says why it did not start is heard in the same line.
  sandbox_.SetEnvironment("QV_TEST_SERVICE_START", "raise");
  EXPECT_EQ(RunTool({"sc", "start", kTestServiceName}), 1);
  EXPECT_EQ(err_.str(),
            "qvanctl sc: StartService FAILED 1064: An exception occurred in the service when handling the "
            "control request. The service says: Service failed on start: start refused\n");
  // The next run starts without the last one's words.
  sandbox_.SetEnvironment("QV_TEST_SERVICE_START", std::nullopt);
  ASSERT_EQ(RunTool({"sc", "start", kTestServiceName}), 0) << err_.str();
  const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
  const platform::ServiceHandle service(
      platform::OpenService(manager.Get(), kTestServiceName, platform::SERVICE_QUERY_STATUS));
  std::string text = "left over";
  ASSERT_TRUE(platform::QueryServiceStatusText(service.Get(), &text));
  EXPECT_EQ(text, "");
}

TEST_F(ScCommandTest, ReportsFailuresAndMistakesInOneLine) {
  EXPECT_EQ(RunTool({"sc", "query", "NoSuchService"}), 1);
  EXPECT_EQ(
      err_.str(),
      "qvanctl sc: OpenService FAILED 1060: The specified service does not exist as an installed service.\n");
  EXPECT_EQ(RunTool({"sc", "frobnicate", "x"}), 2);
  EXPECT_THAT(err_.str(), MatchesRegex("qvanctl sc: unknown operation .*\n"));
  EXPECT_EQ(RunTool({"sc", "query"}), 2);
  EXPECT_EQ(RunTool({"sc", "--help"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("Usage: qvanctl sc query|start|stop|restart|pause|continue NAME"));
  EXPECT_EQ(RunTool({"--help"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("  sc        service control"));
}

}  // namespace
}  // namespace qv::tools
