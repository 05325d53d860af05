// The administrator's programs run by a user who is not root, without QUORVANE_STATE_DIR and without a
// state of their own: they say whose state they are for and that it needs root, instead of making an
// empty state of the user's. Run as root, the test runs them as nobody.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/file_system.h"
#include "platform/process/process.h"
#include "testing/file_texts.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

using ::testing::HasSubstr;

constexpr const char* kSetpriv = "/usr/bin/setpriv";

class StateOwner : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() == 0 && !platform::FileExists(kSetpriv))
      GTEST_SKIP() << "setpriv is needed to run as nobody";
    // A home of nobody's that holds no state; the output where nobody may write it.
    home_ = platform::CreateTemporaryDirectory("qv-home-");
    ASSERT_FALSE(home_.empty());
    ASSERT_TRUE(platform::ForceDirectories(home_ + "/output"));
    chmod(home_.c_str(), 0755);
    chmod((home_ + "/output").c_str(), 0777);
  }
  void TearDown() override {
    if (!home_.empty()) platform::DeleteTree(home_);
  }

  // Runs the program as a user other than root, without QUORVANE_STATE_DIR (this process keeps its
  // own test state, so that nothing here touches the machine's); its exit code and output.
  uint32_t Run(const std::string& program, const std::vector<std::string>& arguments, std::string* output) {
    const std::string output_file = home_ + "/output/out";
    platform::DeleteFile(output_file);
    std::vector<std::string> command = {"-u", "QUORVANE_STATE_DIR", "-u", "XDG_STATE_HOME", "HOME=" + home_};
    if (geteuid() == 0)
      command.insert(command.end(), {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    command.push_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    platform::ChildProcess child;
    EXPECT_TRUE(child.Start("/usr/bin/env", command, output_file));
    uint32_t exit_code = 0xFFFF;
    EXPECT_TRUE(child.Wait(&exit_code, 30000));
    *output = testing::FileText(output_file);
    return exit_code;
  }

  static std::string Refusal(const std::string& program, const std::string& command) {
    return program + ": " + command +
           " works on this machine's state in /var/lib/quorvane, which needs root: run it with sudo (or "
           "set QUORVANE_STATE_DIR to a state of your own)\n";
  }

  const testing::TestStateDir state_;
  std::string home_;
};

TEST_F(StateOwner, TheProgramsSayTheyNeedRootInsteadOfMakingAnEmptyState) {
  std::string output;
  EXPECT_EQ(Run(QV_QVANCTL_PROGRAM, {"mailbox", "list"}, &output), 1u);
  EXPECT_EQ(output, Refusal("qvanctl", "qvanctl mailbox list"));
  EXPECT_EQ(Run(QV_QVANCTL_PROGRAM, {"reg", "query", "HKLM\\Software\\HOLLBERG\\Qvan"}, &output), 1u);
  EXPECT_EQ(output, Refusal("qvanctl", "qvanctl reg query"));
  EXPECT_EQ(Run(QV_SERVICE_PROGRAM, {"--check"}, &output), 1u);
  EXPECT_THAT(output, HasSubstr(Refusal("quorvane", "quorvane --check")));
  EXPECT_EQ(Run(QV_STORE_PROGRAM, {"check"}, &output), 1u);
  EXPECT_EQ(output, Refusal("quorvane-store", "quorvane-store check"));
  // Nothing was made in the user's home.
  EXPECT_FALSE(platform::DirectoryExists(home_ + "/.local"));

  // Help needs no state.
  EXPECT_EQ(Run(QV_QVANCTL_PROGRAM, {"mailbox", "--help"}, &output), 0u);
  EXPECT_THAT(output, HasSubstr("Usage: qvanctl mailbox"));
}

TEST_F(StateOwner, AStateTheUserMadeOnPurposeIsUsed) {
  // The user's own state, made by an earlier run with it named, say: the programs use it.
  ASSERT_TRUE(platform::ForceDirectories(home_ + "/.local/state/quorvane"));
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    for (const char* folder : {"/.local", "/.local/state", "/.local/state/quorvane"})
      ASSERT_EQ(chown((home_ + folder).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  std::string output;
  EXPECT_EQ(Run(QV_QVANCTL_PROGRAM, {"mailbox", "list"}, &output), 0u) << output;
  EXPECT_EQ(output, "No mailboxes.\n");
}

}  // namespace
}  // namespace qv
