// SIGHUP, the signal a daemon takes as "reload", leaves the service running: it notes in the trace
// that the settings take effect at the next start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "testing/quorvane_fixture.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace platform;
using namespace qv::testing;

class QuorvaneHangUp : public QuorvaneTest {
 protected:
  void SetUp() override {
    WriteSettings();
    CreateStore();
    Install();
  }
};

TEST_F(QuorvaneHangUp, LeavesTheServiceServing) {
  ASSERT_EQ(StartService(), SERVICE_RUNNING) << FileText(OutputFile());
  ASSERT_EQ(kill(static_cast<pid_t>(service_process_.ProcessId()), SIGHUP), 0);
  EXPECT_TRUE(
      WaitForText(TraceFile(), " Qvan parameters changed: the settings take effect at the next start\r\n"));
  EXPECT_EQ(Status().dwCurrentState, SERVICE_RUNNING);
  const std::optional<std::string> form = HttpGet(port_, "/?U=&P=");
  ASSERT_TRUE(form.has_value());
  EXPECT_THAT(*form, HasSubstr("<card id=\"logon\""));

  ASSERT_TRUE(Control(SERVICE_CONTROL_STOP, SERVICE_STOPPED));
  EXPECT_EQ(WaitForServiceProcess(), 0u);
  EXPECT_THAT(QvanEvents(), ElementsAre("0 4: The Quorvane has installed.", "1 4: started", "1 4: stopped"));
}

}  // namespace
}  // namespace qv
