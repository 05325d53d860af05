// quorvane-package-files: the unit and PAM file below a staging folder, for the system's manager
// whoever builds the package, and its refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "package/package_files_program.h"
#include "platform/accounts/logon_configuration.h"
#include "platform/files/file_system.h"
#include "testing/test_state_dir.h"

namespace qv::package {
namespace {

using ::testing::HasSubstr;

struct ProgramRun {
  int exit_code;
  std::string out;
  std::string err;
};

ProgramRun RunProgram(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int exit_code = RunPackageFilesProgram(args, out, err);
  return {exit_code, out.str(), err.str()};
}

std::string Read(const std::string& path) {
  std::string content;
  EXPECT_TRUE(platform::ReadWholeFile(path, &content)) << path;
  return content;
}

TEST(PackageFiles, AreTheSystemsUnitAndThePamFileBelowTheRoot) {
  const testing::TestStateDir folder;
  const std::string root = folder.File("root");
  const ProgramRun run = RunProgram({"--unit-dir", "/usr/lib/systemd/system", "--program",
                                     "/opt/qv/sbin/quorvane", "--state-dir", "/srv/quorvane", root});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string unit = Read(root + "/usr/lib/systemd/system/quorvane.service");
  EXPECT_THAT(unit, HasSubstr("\nDescription=Quorvane\n"));
  EXPECT_THAT(unit, HasSubstr("\nExecStart=\"/opt/qv/sbin/quorvane\"\n"));
  EXPECT_THAT(unit, HasSubstr("\nEnvironment=\"QUORVANE_STATE_DIR=/srv/quorvane\"\n"));
  EXPECT_THAT(unit, ::testing::Not(HasSubstr("User=")));
  // Also when a user other than root builds the package.
  EXPECT_THAT(unit, HasSubstr("\nWantedBy=multi-user.target\n"));
  EXPECT_EQ(Read(root + "/etc/pam.d/quorvane"), platform::LogonConfigurationText());

  // The program's folder is not one of the system's: the logs beside it by default stay writable.
  EXPECT_THAT(unit, HasSubstr("\nReadWritePaths=\"/srv/quorvane\" -/var/log/quorvane \"-/opt/qv/sbin\"\n"));

  ASSERT_EQ(RunProgram({root}).exit_code, 0);
  const std::string packaged = Read(root + "/lib/systemd/system/quorvane.service");
  EXPECT_THAT(
      packaged,
      HasSubstr(
          "\nExecStart=\"/usr/sbin/quorvane\"\nEnvironment=\"QUORVANE_STATE_DIR=/var/lib/quorvane\"\n"));
  // Its manual page, and a confinement PAM tolerates: the system read-only but for the state and the
  // logs, root's powers cut to what binding the port, PAM and the files need.
  EXPECT_TRUE(
      packaged.starts_with("# The systemd unit of the service \"Quorvane\" as its installation makes it"));
  EXPECT_THAT(packaged, HasSubstr("\nDocumentation=man:quorvane(8)\n"));
  for (const char* line : {"ProtectSystem=full", "ProtectHome=read-only",
                           "ReadWritePaths=\"/var/lib/quorvane\" -/var/log/quorvane", "PrivateTmp=yes",
                           "NoNewPrivileges=yes", "ProtectKernelTunables=yes", "ProtectKernelModules=yes",
                           "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK",
                           "SystemCallFilter=@system-service", "UMask=0027"})
    EXPECT_THAT(packaged, HasSubstr("\n" + std::string(line) + "\n")) << line;
  EXPECT_THAT(packaged, HasSubstr("=CAP_NET_BIND_SERVICE CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH "));
}

TEST(PackageFiles, AreRefusedForWhatInstallationWouldWriteOtherwise) {
  const testing::TestStateDir folder;
  const ProgramRun blank = RunProgram({"--program", "/opt/my programs/quorvane", folder.File("root")});
  EXPECT_EQ(blank.exit_code, 1);
  EXPECT_THAT(blank.err, HasSubstr("holds a blank"));
  EXPECT_FALSE(platform::FileExists(folder.File("root")));

  EXPECT_EQ(RunProgram({"--state-dir", "var/lib/quorvane", folder.File("root")}).exit_code, 2);
  EXPECT_EQ(RunProgram({}).exit_code, 2);
  const ProgramRun version = RunProgram({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, std::string("quorvane-package-files (Quorvane) ") + QV_VERSION_TEXT + "\n");

  // A file where a folder should be made.
  ASSERT_TRUE(platform::WriteWholeFile(folder.File("plain"), ""));
  const ProgramRun unwritable = RunProgram({folder.File("plain")});
  EXPECT_EQ(unwritable.exit_code, 1);
  EXPECT_THAT(unwritable.err, HasSubstr("cannot write \"" + folder.File("plain")));
}

}  // namespace
}  // namespace qv::package
