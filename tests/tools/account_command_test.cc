#include <gtest/gtest.h>

#include <sstream>

#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"
#include "tools/account_command.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

// Runs "qvanctl account ..." in-process with the given standard input and typed answers.
class AccountCommandTest : public ToolCommandTest {
 protected:
  void SetUp() override { QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts); }

  int Run(const std::vector<std::string>& args, const std::string& input = "") {
    ToolStreams io = FreshStreams(input);
    return RunAccountCommand(args, io, [this](const std::string& prompt, std::string* password) {
      prompts_.push_back(prompt);
      if (typed_.empty()) {
        platform::SetLastError(platform::ERROR_INVALID_HANDLE);  // as without a terminal
        return false;
      }
      *password = typed_.front();
      typed_.erase(typed_.begin());
      return true;
    });
  }

  bool LogsOn(const std::string& user, const std::string& password) {
    std::unique_ptr<platform::AccessToken> token;
    return platform::LogonUser(user, platform::GetAccountDomainName(), password,
                               platform::LogonType::kNetwork, &token);
  }

  qv::testing::TestStateDir dir_;
  std::vector<std::string> typed_;
  std::vector<std::string> prompts_;
};

TEST_F(AccountCommandTest, AddReadsThePasswordFromStandardInput) {
  EXPECT_EQ(Run({"add", "Alice", "--password-stdin"}, "Stdin-Pass1\r\nignored second line\n"), 0);
  const std::string domain = platform::GetAccountDomainName();
  EXPECT_EQ(out_.str().rfind("Added account " + domain + "\\Alice (S-1-5-21-", 0), 0u) << out_.str();
  EXPECT_NE(out_.str().find("-1000).\n"), std::string::npos) << out_.str();
  EXPECT_EQ(err_.str(), "");
  EXPECT_TRUE(prompts_.empty());
  EXPECT_TRUE(LogsOn("alice", "Stdin-Pass1"));
  EXPECT_FALSE(LogsOn("alice", "ignored second line"));

  EXPECT_EQ(Run({"add", "alice", "--password-stdin"}, "Other-Pass1\n"), 1);
  ExpectOneLineError("account", "cannot add \"alice\": an account named \"alice\" exists already");
  EXPECT_TRUE(LogsOn("alice", "Stdin-Pass1"));

  EXPECT_EQ(Run({"add", "bob", "--password-stdin"}, ""), 1);
  ExpectOneLineError("account", "no password on standard input");
  EXPECT_EQ(Run({"add", "bob", "--password-stdin"}, "\n"), 1);
  ExpectOneLineError("account", "cannot add \"bob\": the password is empty");
  platform::LocalAccount account;
  EXPECT_FALSE(platform::NetUserGetInfo("bob", &account));
}

TEST_F(AccountCommandTest, AddAsksTwiceOnTheTerminal) {
  typed_ = {"Typed-Pass1", "Typed-Pass1"};
  EXPECT_EQ(Run({"add", "carol"}), 0) << err_.str();
  EXPECT_EQ(prompts_, (std::vector<std::string>{"Password for carol: ", "Retype the password: "}));
  EXPECT_TRUE(LogsOn("carol", "Typed-Pass1"));

  typed_ = {"First-Pass1", "Second-Pass1"};
  EXPECT_EQ(Run({"add", "dave"}), 1);
  ExpectOneLineError("account", "the passwords do not match");
  platform::LocalAccount account;
  EXPECT_FALSE(platform::NetUserGetInfo("dave", &account));

  // Without a terminal the message shows the way out.
  EXPECT_EQ(Run({"add", "dave"}), 1);
  ExpectOneLineError("account", "--password-stdin");

  // A bad name is refused before any password is asked for.
  prompts_.clear();
  typed_ = {"Typed-Pass1", "Typed-Pass1"};
  EXPECT_EQ(Run({"add", "bad/name"}), 1);
  ExpectOneLineError("account", "\"bad/name\" is no account name: 1 to 20 characters");
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(AccountCommandTest, PasswdReplacesThePassword) {
  ASSERT_TRUE(platform::NetUserAdd("Erin", "Old-Pass1"));
  typed_ = {"New-Pass1", "New-Pass1"};
  EXPECT_EQ(Run({"passwd", "erin"}), 0) << err_.str();
  EXPECT_EQ(prompts_[0], "Password for Erin: ");
  EXPECT_EQ(out_.str(), "Changed the password of " + platform::GetAccountDomainName() + "\\Erin.\n");
  EXPECT_TRUE(LogsOn("erin", "New-Pass1"));
  EXPECT_FALSE(LogsOn("erin", "Old-Pass1"));

  EXPECT_EQ(Run({"passwd", "erin", "--password-stdin"}, "Piped-Pass1\n"), 0);
  EXPECT_TRUE(LogsOn("erin", "Piped-Pass1"));

  typed_ = {"Mis-Typed1", "Mis-Typed2"};
  EXPECT_EQ(Run({"passwd", "erin"}), 1);
  ExpectOneLineError("account", "the passwords do not match");
  EXPECT_TRUE(LogsOn("erin", "Piped-Pass1"));

  prompts_.clear();
  EXPECT_EQ(Run({"passwd", "nobody", "--password-stdin"}, "Any-Pass1\n"), 1);
  ExpectOneLineError("account", "there is no account named ");
}

TEST_F(AccountCommandTest, DeleteDisableEnableAndList) {
  ASSERT_TRUE(platform::NetUserAdd("frank", "Frank-Pass1"));
  ASSERT_TRUE(platform::NetUserAdd("Gina", "Gina-Pass1"));
  const std::string domain = platform::GetAccountDomainName();

  EXPECT_EQ(Run({"disable", "FRANK"}), 0);
  EXPECT_EQ(out_.str(), "Disabled account " + domain + "\\frank.\n");
  EXPECT_FALSE(LogsOn("frank", "Frank-Pass1"));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_ACCOUNT_DISABLED);

  EXPECT_EQ(Run({"list"}), 0);
  std::istringstream lines(out_.str());
  std::string header;
  std::string first;
  std::string second;
  std::string extra;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(header.rfind("Name", 0), 0u);
  EXPECT_NE(header.find("SID"), std::string::npos);
  platform::LocalAccount frank;
  ASSERT_TRUE(platform::NetUserGetInfo("frank", &frank));
  EXPECT_EQ(first.rfind("frank ", 0), 0u) << first;
  EXPECT_NE(first.find(" " + platform::SidToText(frank.UserSid) + " "), std::string::npos) << first;
  EXPECT_EQ(first.substr(first.size() - 8), "disabled");
  EXPECT_EQ(second.rfind("Gina ", 0), 0u) << second;
  EXPECT_EQ(second.substr(second.size() - 8), " enabled");
  // The columns line up.
  EXPECT_EQ(header.find("SID"), first.find("S-1-"));
  EXPECT_EQ(header.find("State"), first.find("disabled"));

  EXPECT_EQ(Run({"enable", "frank"}), 0);
  EXPECT_TRUE(LogsOn("frank", "Frank-Pass1"));

  EXPECT_EQ(Run({"delete", "gina"}), 0);
  EXPECT_EQ(out_.str(), "Deleted account " + domain + "\\Gina.\n");
  EXPECT_EQ(Run({"delete", "gina"}), 1);
  ExpectOneLineError("account", "cannot delete \"gina\": there is no account named \"gina\"");
  EXPECT_EQ(Run({"disable", "gina"}), 1);
  ExpectOneLineError("account", "there is no account named ");
}

TEST_F(AccountCommandTest, DeleteKeepsAnAccountThatOwnsMailboxesUnlessForced) {
  ASSERT_TRUE(platform::NetUserAdd("Hal", "Hal-Pass1"));
  EXPECT_EQ(RunTool({"mailbox", "add", "hal", "--owner", "hal"}), 0) << err_.str();
  EXPECT_EQ(RunTool({"mailbox", "add", "team", "--owner", "hal"}), 0) << err_.str();
  EXPECT_EQ(Run({"delete", "hal"}), 1);
  ExpectOneLineError(
      "account",
      "cannot delete \"hal\": it owns the mailboxes \"hal\" and \"team\" (give them another owner "
      "with qvanctl mailbox set, or delete with --force)");
  EXPECT_TRUE(LogsOn("hal", "Hal-Pass1"));

  EXPECT_EQ(Run({"delete", "hal", "--force"}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "Deleted account " + platform::GetAccountDomainName() +
                "\\Hal.\nNote: nobody can log on to the mailboxes \"hal\" and \"team\" any more.\n");
  platform::LocalAccount account;
  EXPECT_FALSE(platform::NetUserGetInfo("hal", &account));
}

TEST_F(AccountCommandTest, UsageMistakesExitWithTwo) {
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"rename", "x"},
      {"add"},
      {"add", "a", "b", "--password-stdin"},
      {"delete"},
      {"delete", "x", "--password-stdin"},
      {"list", "x"},
      {"add", "x", "--password"},
  };
  for (const auto& args : mistakes) {
    EXPECT_EQ(Run(args), 2) << (args.empty() ? "" : args[0]);
    ExpectOneLineError("account", "(try qvanctl account --help)");
  }
  // A name that looks like an option goes after "--".
  EXPECT_EQ(Run({"add", "--password-stdin", "--", "-dash"}, "Dash-Pass1\n"), 0) << err_.str();
  EXPECT_TRUE(LogsOn("-dash", "Dash-Pass1"));
}

TEST_F(AccountCommandTest, TheToolOffersTheSubcommandWithItsHelp) {
  EXPECT_EQ(RunTool({"account", "--help"}), 0);
  EXPECT_EQ(out_.str().rfind("Usage: qvanctl account add NAME [--password-stdin]", 0), 0u);
  EXPECT_EQ(RunTool({"account", "add", "x", "--help"}), 0);
  EXPECT_NE(out_.str().find("--password-stdin"), std::string::npos);
  EXPECT_EQ(RunTool({"--help"}), 0);
  EXPECT_NE(out_.str().find("  account"), std::string::npos);
  EXPECT_EQ(RunTool({"--version"}), 0);
  EXPECT_EQ(out_.str(), std::string("qvanctl (Quorvane) ") + QV_VERSION_TEXT + "\n");

  EXPECT_EQ(RunTool({"account", "add", "Hana", "--password-stdin"}, "Hana-Pass1\n"), 0) << err_.str();
  EXPECT_TRUE(LogsOn("hana", "Hana-Pass1"));
  EXPECT_EQ(RunTool({"account", "list"}), 0);
  EXPECT_NE(out_.str().find("Hana "), std::string::npos);
}

}  // namespace
}  // namespace qv::tools
