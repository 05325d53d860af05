#include "tools/account_command.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "platform/console.h"
#include "platform/last_error.h"
#include "platform/local_accounts.h"
#include "platform/win_error.h"
#include "support/win_error_text.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl account add NAME [--password-stdin]\n"
    "       qvanctl account passwd NAME [--password-stdin]\n"
    "       qvanctl account delete NAME\n"
    "       qvanctl account disable NAME | enable NAME\n"
    "       qvanctl account list\n"
    "\n"
    "Manages the accounts of this machine, which own mailboxes and whose passwords the phones give.\n"
    "The system's own accounts (domain \"Unix User\") are managed with the system's tools.\n"
    "\n"
    "  add       creates an account; the password is asked twice on the terminal\n"
    "  passwd    sets a new password\n"
    "  delete    deletes an account (its SID is never given to another account)\n"
    "  disable   keeps the account but refuses its logons; enable allows them again\n"
    "  list      shows every account with its SID and state\n"
    "\n"
    "Options:\n"
    "  --password-stdin   read the password from the first line of standard input\n"
    "\n"
    "Names are 1 to 20 characters and compare without regard to case; passwords are 1 to 256\n"
    "characters.\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

class AccountCommand {
 public:
  AccountCommand(ToolStreams& io, const PasswordPrompt& prompt) : io_(io), prompt_(prompt) {}

  int Run(const std::vector<std::string>& args) {
    if (args.empty()) return UsageError("an action is missing");
    const std::string& action = args[0];
    if (action == "--help" || action == "-h" || action == "help") {
      io_.out << kUsage;
      return 0;
    }
    std::vector<std::string> operands;
    bool password_stdin = false;
    bool options_ended = false;  // after "--" every argument is a name
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (options_ended || arg.size() < 2 || arg[0] != '-') {
        operands.push_back(arg);
      } else if (arg == "--") {
        options_ended = true;
      } else if (arg == "--help" || arg == "-h") {
        io_.out << kUsage;
        return 0;
      } else if (arg == "--password-stdin" && (action == "add" || action == "passwd")) {
        password_stdin = true;
      } else {
        return UsageError("unknown option \"" + arg + "\"");
      }
    }
    if (action == "list") {
      if (!operands.empty()) return UsageError("list takes no name");
      return List();
    }
    if (action != "add" && action != "passwd" && action != "delete" && action != "disable" &&
        action != "enable")
      return UsageError("unknown action \"" + action + "\"");
    if (operands.size() != 1) return UsageError(action + " takes one account name");
    const std::string& name = operands[0];
    if (action == "add") return Add(name, password_stdin);
    if (action == "passwd") return ChangePassword(name, password_stdin);
    if (action == "delete") return Delete(name);
    return SetDisabled(name, action == "disable");
  }

 private:
  int UsageError(const std::string& text) {
    io_.err << "qvanctl account: " << text << " (try qvanctl account --help)\n";
    return kUsageError;
  }

  int Failed(const std::string& text) {
    io_.err << "qvanctl account: " << text << "\n";
    return kFailed;
  }

  int FailedWithLastError(const std::string& text) { return Failed(text + ": " + LastErrorMessage()); }

  static std::string LastErrorMessage() {
    return GetWinErrorText(static_cast<int32_t>(platform::GetLastError()));
  }

  std::string Qualified(const std::string& name) { return platform::GetAccountDomainName() + "\\" + name; }

  // The new password: the first line of standard input, or asked twice on the terminal.
  bool ReadNewPassword(const std::string& name, bool from_stdin, std::string* password) {
    if (from_stdin) {
      if (!std::getline(io_.in, *password)) {
        Failed("no password on standard input");
        return false;
      }
      if (!password->empty() && password->back() == '\r') password->pop_back();
      return true;
    }
    std::string again;
    if (!prompt_("Password for " + name + ": ", password) || !prompt_("Retype the password: ", &again)) {
      if (platform::GetLastError() == platform::ERROR_INVALID_HANDLE)
        Failed("no terminal to ask for the password: give it on standard input with --password-stdin");
      else
        FailedWithLastError("cannot read the password from the terminal");
      return false;
    }
    if (*password != again) {
      Failed("the passwords do not match");
      return false;
    }
    return true;
  }

  int Add(const std::string& name, bool password_stdin) {
    // A bad name is told before the password is asked for.
    if (!platform::IsValidLocalAccountName(name))
      return Failed("cannot add \"" + name + "\": " + GetWinErrorText(platform::ERROR_INVALID_ACCOUNT_NAME));
    std::string password;
    if (!ReadNewPassword(name, password_stdin, &password)) return kFailed;
    if (!platform::NetUserAdd(name, password)) return FailedWithLastError("cannot add \"" + name + "\"");
    platform::LocalAccount account;
    if (!platform::NetUserGetInfo(name, &account))
      return FailedWithLastError("cannot read \"" + name + "\" back");
    io_.out << "Added account " << Qualified(account.Name) << " (" << platform::SidToText(account.UserSid)
            << ").\n";
    return 0;
  }

  int ChangePassword(const std::string& name, bool password_stdin) {
    platform::LocalAccount account;
    if (!platform::NetUserGetInfo(name, &account))
      return FailedWithLastError("cannot change the password of \"" + name + "\"");
    std::string password;
    if (!ReadNewPassword(account.Name, password_stdin, &password)) return kFailed;
    if (!platform::NetUserSetPassword(name, password))
      return FailedWithLastError("cannot change the password of \"" + name + "\"");
    io_.out << "Changed the password of " << Qualified(account.Name) << ".\n";
    return 0;
  }

  int Delete(const std::string& name) {
    platform::LocalAccount account;
    if (!platform::NetUserGetInfo(name, &account) || !platform::NetUserDel(name))
      return FailedWithLastError("cannot delete \"" + name + "\"");
    io_.out << "Deleted account " << Qualified(account.Name) << ".\n";
    return 0;
  }

  int SetDisabled(const std::string& name, bool disabled) {
    platform::LocalAccount account;
    if (!platform::NetUserGetInfo(name, &account) || !platform::NetUserSetDisabled(name, disabled))
      return FailedWithLastError(std::string("cannot ") + (disabled ? "disable" : "enable") + " \"" + name +
                                 "\"");
    io_.out << (disabled ? "Disabled" : "Enabled") << " account " << Qualified(account.Name) << ".\n";
    return 0;
  }

  int List() {
    std::vector<platform::LocalAccount> accounts;
    if (!platform::NetUserEnum(&accounts)) return FailedWithLastError("cannot list the accounts");
    std::vector<std::string> sids;
    size_t name_width = 4;
    size_t sid_width = 3;
    for (const auto& account : accounts) {
      sids.push_back(platform::SidToText(account.UserSid));
      name_width = std::max(name_width, account.Name.size());
      sid_width = std::max(sid_width, sids.back().size());
    }
    const auto line = [&](const std::string& name, const std::string& sid, const std::string& state) {
      io_.out << name << std::string(name_width + 2 - name.size(), ' ') << sid
              << std::string(sid_width + 2 - sid.size(), ' ') << state << "\n";
    };
    line("Name", "SID", "State");
    for (size_t i = 0; i < accounts.size(); ++i)
      line(accounts[i].Name, sids[i], accounts[i].Disabled ? "disabled" : "enabled");
    return 0;
  }

  ToolStreams& io_;
  const PasswordPrompt& prompt_;
};

}  // namespace

int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io, const PasswordPrompt& prompt) {
  return AccountCommand(io, prompt).Run(args);
}

int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io) {
  return RunAccountCommand(args, io, platform::ReadConsolePassword);
}

}  // namespace qv::tools
