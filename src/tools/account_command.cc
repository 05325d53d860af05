#include "tools/account_command.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "platform/accounts/local_accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/console.h"
#include "support/win_error_text.h"
#include "tools/tool_command.h"

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

// The one account name the operation takes.
const std::string& AccountName(const ToolArguments& arguments, const std::string& action) {
  return arguments.Positional(1, 1, action + " takes one account name")[0];
}

std::string Qualified(const std::string& name) {
  return platform::GetAccountDomainName() + "\\" + name;
}

// The account as the database keeps it; raises EToolFailure "cannot <what>: <reason>" when it is not there.
platform::LocalAccount ExistingAccount(const std::string& name, const std::string& what) {
  platform::LocalAccount account;
  if (!platform::NetUserGetInfo(name, &account)) throw EToolFailure(what + ": " + LastErrorMessage());
  return account;
}

// The new password: the first line of standard input, or asked twice on the terminal.
std::string ReadNewPassword(ToolStreams& io, const PasswordPrompt& prompt, const std::string& name,
                            bool from_stdin) {
  std::string password;
  if (from_stdin) {
    if (!std::getline(io.in, password)) throw EToolFailure("no password on standard input");
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
  }
  std::string again;
  if (!prompt("Password for " + name + ": ", &password) || !prompt("Retype the password: ", &again)) {
    if (platform::GetLastError() == platform::ERROR_INVALID_HANDLE)
      throw EToolFailure(
          "no terminal to ask for the password: give it on standard input with --password-stdin");
    throw EToolFailure("cannot read the password from the terminal: " + LastErrorMessage());
  }
  if (password != again) throw EToolFailure("the passwords do not match");
  return password;
}

int Add(const ToolArguments& arguments, ToolStreams& io, const PasswordPrompt& prompt) {
  const std::string& name = AccountName(arguments, "add");
  // A bad name is told before the password is asked for.
  if (!platform::IsValidLocalAccountName(name))
    throw EToolFailure("cannot add \"" + name +
                       "\": " + GetWinErrorText(platform::ERROR_INVALID_ACCOUNT_NAME));
  const std::string password = ReadNewPassword(io, prompt, name, arguments.Has("--password-stdin"));
  if (!platform::NetUserAdd(name, password))
    throw EToolFailure("cannot add \"" + name + "\": " + LastErrorMessage());
  const platform::LocalAccount account = ExistingAccount(name, "cannot read \"" + name + "\" back");
  io.out << "Added account " << Qualified(account.Name) << " (" << platform::SidToText(account.UserSid)
         << ").\n";
  return 0;
}

int ChangePassword(const ToolArguments& arguments, ToolStreams& io, const PasswordPrompt& prompt) {
  const std::string& name = AccountName(arguments, "passwd");
  const std::string failure = "cannot change the password of \"" + name + "\"";
  const platform::LocalAccount account = ExistingAccount(name, failure);
  const std::string password = ReadNewPassword(io, prompt, account.Name, arguments.Has("--password-stdin"));
  if (!platform::NetUserSetPassword(name, password)) throw EToolFailure(failure + ": " + LastErrorMessage());
  io.out << "Changed the password of " << Qualified(account.Name) << ".\n";
  return 0;
}

int Delete(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = AccountName(arguments, "delete");
  const std::string failure = "cannot delete \"" + name + "\"";
  const platform::LocalAccount account = ExistingAccount(name, failure);
  if (!platform::NetUserDel(name)) throw EToolFailure(failure + ": " + LastErrorMessage());
  io.out << "Deleted account " << Qualified(account.Name) << ".\n";
  return 0;
}

int SetDisabled(const ToolArguments& arguments, ToolStreams& io, bool disabled) {
  const std::string action = disabled ? "disable" : "enable";
  const std::string& name = AccountName(arguments, action);
  const std::string failure = "cannot " + action + " \"" + name + "\"";
  const platform::LocalAccount account = ExistingAccount(name, failure);
  if (!platform::NetUserSetDisabled(name, disabled)) throw EToolFailure(failure + ": " + LastErrorMessage());
  io.out << (disabled ? "Disabled" : "Enabled") << " account " << Qualified(account.Name) << ".\n";
  return 0;
}

int List(const ToolArguments& arguments, ToolStreams& io) {
  arguments.Positional(0, 0, "list takes no name");
  std::vector<platform::LocalAccount> accounts;
  if (!platform::NetUserEnum(&accounts))
    throw EToolFailure("cannot list the accounts: " + LastErrorMessage());
  std::vector<std::string> sids;
  size_t name_width = 4;
  size_t sid_width = 3;
  for (const auto& account : accounts) {
    sids.push_back(platform::SidToText(account.UserSid));
    name_width = std::max(name_width, account.Name.size());
    sid_width = std::max(sid_width, sids.back().size());
  }
  const auto line = [&](const std::string& name, const std::string& sid, const std::string& state) {
    io.out << name << std::string(name_width + 2 - name.size(), ' ') << sid
           << std::string(sid_width + 2 - sid.size(), ' ') << state << "\n";
  };
  line("Name", "SID", "State");
  for (size_t i = 0; i < accounts.size(); ++i)
    line(accounts[i].Name, sids[i], accounts[i].Disabled ? "disabled" : "enabled");
  return 0;
}

}  // namespace

int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io, const PasswordPrompt& prompt) {
  const ToolOptions password_options{{"--password-stdin"}, {}};
  const ToolCommand command{"qvanctl account",
                            kUsage,
                            "action",
                            OptionSpelling::kDashes,
                            {{"add", password_options,
                              [&prompt](const ToolArguments& arguments, ToolStreams& streams) {
                                return Add(arguments, streams, prompt);
                              }},
                             {"passwd", password_options,
                              [&prompt](const ToolArguments& arguments, ToolStreams& streams) {
                                return ChangePassword(arguments, streams, prompt);
                              }},
                             {"delete", {}, Delete},
                             {"disable",
                              {},
                              [](const ToolArguments& arguments, ToolStreams& streams) {
                                return SetDisabled(arguments, streams, true);
                              }},
                             {"enable",
                              {},
                              [](const ToolArguments& arguments, ToolStreams& streams) {
                                return SetDisabled(arguments, streams, false);
                              }},
                             {"list", {}, List}}};
  return RunToolCommand(command, args, io);
}

int RunAccountCommand(const std::vector<std::string>& args, ToolStreams& io) {
  return RunAccountCommand(args, io, platform::ReadConsolePassword);
}

}  // namespace qv::tools
