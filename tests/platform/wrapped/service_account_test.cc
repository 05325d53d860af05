// Installing a service to run under one of the system's accounts, against the made-up users of passwd
// and passdb beside this file (nss_wrapper and pam_wrapper, set up by the launcher with_test_users.sh).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "service/service_application.h"
#include "testing/service_sandbox.h"
#include "testing/test_service.h"

namespace qv {
namespace {

using qv::testing::kTestServiceName;
using qv::testing::ServiceEntryValue;
using ::testing::HasSubstr;

int Install(const std::vector<std::string>& arguments, std::string* err) {
  std::ostringstream out, errors;
  int exit_code = -1;
  {
    TServiceApplication application(arguments, out, errors);
    application.CreateService<qv::testing::TestService>();
    exit_code = application.Run();
  }
  *err = errors.str();
  return exit_code;
}

TEST(ServiceAccount, AServiceOfASystemAccountRunsAsThatUserUnderSystemd) {
  ASSERT_EQ(platform::GetEnvironmentVariable("PAM_WRAPPER"), "1") << "run through with_test_users.sh";
  qv::testing::ServiceSandbox sandbox;
  std::string err;
  ASSERT_EQ(Install({"/INSTALL", "/ServiceStartName=Unix User\\carol", "/Password=Carol-Secret1"}, &err), 0)
      << err;
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ObjectName"), "Unix User\\carol");
  std::string unit;
  ASSERT_TRUE(platform::ReadWholeFile(sandbox.UnitDirectory() + "/qvtestservice.service", &unit));
  EXPECT_THAT(unit, HasSubstr("\nUser=carol\n"));
  // The state directory, its owner's alone otherwise, lets the service's group in.
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(sandbox.Path()).permissions() & fs::perms::mask,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

TEST(ServiceAccount, AWrongPasswordOfASystemAccountFailsTheInstallation) {
  ASSERT_EQ(platform::GetEnvironmentVariable("PAM_WRAPPER"), "1") << "run through with_test_users.sh";
  qv::testing::ServiceSandbox sandbox;
  std::string err;
  EXPECT_EQ(Install({"/INSTALL", "/ServiceStartName=carol", "/Password=Carol-Wrong"}, &err), 1);
  EXPECT_THAT(err, HasSubstr("failed to install with error: \"The user name or password is incorrect.\""));
  EXPECT_EQ(ServiceEntryValue(kTestServiceName, "ObjectName"), "");
}

}  // namespace
}  // namespace qv
