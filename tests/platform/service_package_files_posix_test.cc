// A unit that a system package carries: installation uses it instead of writing its own when it is
// the same text, and the package's files are the texts root's installation writes. Every unit folder
// lies in the test's sandbox (the package's through QUORVANE_SYSTEMD_PACKAGE_UNIT_DIR), and systemctl
// is a stand-in that records its calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/accounts/logon_configuration.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/services/service_control.h"
#include "platform/services/service_package_files.h"
#include "testing/service_sandbox.h"

namespace qv::platform {
namespace {

using qv::testing::ServiceSandbox;
using ::testing::HasSubstr;

class PackagedUnit : public ::testing::Test {
 protected:
  PackagedUnit() {
    sandbox_.SetEnvironment("QUORVANE_SYSTEMCTL",
                            std::string(QV_TEST_SOURCE_DIR) + "/platform/fake-systemctl");
    sandbox_.SetEnvironment("QV_FAKE_SYSTEMCTL_LOG", SystemctlLog());
    sandbox_.SetEnvironment("QUORVANE_SYSTEMD_PACKAGE_UNIT_DIR", PackageUnitDirectory());
    ForceDirectories(PackageUnitDirectory());
  }

  std::string PackageUnitDirectory() const { return sandbox_.Path() + "/package-units"; }
  std::string PackagedUnitFile() const { return PackageUnitDirectory() + "/packaged.service"; }
  std::string OwnUnit() const { return sandbox_.UnitDirectory() + "/packaged.service"; }
  std::string SystemctlLog() const { return sandbox_.Path() + "/systemctl.log"; }

  static ServiceHandle Create() {
    const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
    return ServiceHandle(CreateService(manager.Get(), "Packaged", "Packaged display", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       "/opt/packaged/run --flag", "", nullptr, "", "", ""));
  }

  static std::string Read(const std::string& path) {
    std::string content;
    EXPECT_TRUE(ReadWholeFile(path, &content)) << path;
    return content;
  }

  // The unit installation writes when no package carries one; nothing of it is left installed.
  std::string UnitInstallationWrites() {
    ServiceHandle service = Create();
    EXPECT_TRUE(service) << GetLastError();
    const std::string text = Read(OwnUnit());
    EXPECT_TRUE(DeleteService(service.Get())) << GetLastError();
    DeleteFile(SystemctlLog());
    return text;
  }

  // systemctl's calls so far, without the scope argument of users other than root.
  std::string SystemctlCalls() const {
    std::string calls;
    ReadWholeFile(SystemctlLog(), &calls);
    for (size_t at; (at = calls.find("--user ")) != std::string::npos;) calls.erase(at, 7);
    return calls;
  }

  ServiceSandbox sandbox_;
};

TEST_F(PackagedUnit, ThatInstallationWouldWriteIsTheServicesUnitTillRemoval) {
  const std::string unit = UnitInstallationWrites();
  ASSERT_TRUE(WriteWholeFile(PackagedUnitFile(), unit));
  // A unit left by an earlier installation would hide the package's.
  ASSERT_TRUE(WriteWholeFile(OwnUnit(), "# left over\n"));

  ServiceHandle service = Create();
  ASSERT_TRUE(service) << GetLastError();
  EXPECT_FALSE(FileExists(OwnUnit()));
  EXPECT_EQ(SystemctlCalls(), "daemon-reload\nenable packaged.service\n");

  // Started by systemd through the package's unit (the stand-in starts nothing, so the start fails).
  EXPECT_FALSE(StartService(service.Get(), 0, nullptr));
  EXPECT_THAT(SystemctlCalls(), HasSubstr("start packaged.service\n"));

  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  EXPECT_THAT(SystemctlCalls(), ::testing::EndsWith("disable packaged.service\n"));
  EXPECT_EQ(Read(PackagedUnitFile()), unit);
  EXPECT_FALSE(FileExists(OwnUnit()));
}

TEST_F(PackagedUnit, OfAnotherTextIsOverriddenByInstallationsOwn) {
  const std::string unit = UnitInstallationWrites();
  const std::string other = "[Service]\nExecStart=/usr/bin/other\n";
  ASSERT_TRUE(WriteWholeFile(PackagedUnitFile(), other));

  ServiceHandle service = Create();
  ASSERT_TRUE(service) << GetLastError();
  EXPECT_EQ(Read(OwnUnit()), unit);

  ASSERT_TRUE(DeleteService(service.Get())) << GetLastError();
  EXPECT_FALSE(FileExists(OwnUnit()));
  EXPECT_EQ(Read(PackagedUnitFile()), other);
  EXPECT_EQ(SystemctlCalls(),
            "daemon-reload\nenable packaged.service\ndisable packaged.service\ndaemon-reload\n");
}

TEST(ServicePackageFiles, AreTheUnitAndPamFileRootsInstallationWrites) {
  if (geteuid() != 0) GTEST_SKIP() << "root's installation writes the system's unit";
  ServiceSandbox sandbox;
  const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_ALL_ACCESS));
  const ServiceHandle service(CreateService(
      manager.Get(), "Packaged", "Packaged display", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "/usr/sbin/packaged", "", nullptr, "", "", ""));
  ASSERT_TRUE(service) << GetLastError();
  std::string written;
  ASSERT_TRUE(ReadWholeFile(sandbox.UnitDirectory() + "/packaged.service", &written));

  const std::vector<ServicePackageFile> files =
      ServicePackageFiles("Packaged", "Packaged display", "/usr/sbin/packaged", sandbox.Path(), "/lib/units");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].Path, "/lib/units/packaged.service");
  EXPECT_EQ(files[0].Text, written);
  EXPECT_EQ(files[1].Path, "/etc/pam.d/quorvane");
  EXPECT_EQ(files[1].Text, LogonConfigurationText());
}

}  // namespace
}  // namespace qv::platform
