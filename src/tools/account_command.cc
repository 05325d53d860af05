#include "tools/account_command.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "platform/accounts/local_accounts.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/process/console.h"
#include "platform/process/module.h"
#include "store/calendar_store.h"
#include "tools/account_error_text.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: qvanctl account add NAME [--password-stdin]\n"
    "       qvanctl account passwd NAME [--password-stdin]\n"
    "       qvanctl account delete NAME [--force]\n"
    "       qvanctl account disable NAME | enable NAME\n"
    "       qvanctl account list\n"
    "\n"
    "Manages the accounts of this machine, which own mailboxes and whose passwords the phones give.\n"
    "The system's own accounts (domain \"Unix User\") are managed with the system's tools.\n"
    "\n"
    "  add       creates an account; the password is asked twice on the terminal\n"
    "  passwd    sets a new password\n"
    "  delete    deletes an account (its SID is never given to another account); an account that\n"
    "            owns mailboxes is kept unless --force is given (give them another owner first\n"
    "            with qvanctl mailbox set)\n"
    "  disable   keeps the account but refuses its logons; enable allows them again\n"
    "  list      shows every account with its SID and state\n"
    "\n"
    "Options:\n"
    "  --password-stdin   read the password from the first line of standard input\n"
    "  --force            delete an account even while it owns mailboxes\n"
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
  if (!platform::NetUserGetInfo(name, &account))
    throw EToolFailure(what + ": " + AccountErrorText(platform::GetLastError(), name));
  return account;
}

// The new password, or EToolFailure "<what>: <why not>".
void CheckNewPassword(const std::string& password, const std::string& what) {
  if (const std::string refusal = PasswordRefusal(password); !refusal.empty())
    throw EToolFailure(what + ": " + refusal);
}

// The names of the mailboxes the account owns; none when there is no calendar store yet.
std::vector<std::string> OwnedMailboxes(const platform::Sid& owner) {
  const std::string path =
      platform::PlatformStateDirectory() + platform::PathDelimiter() + CalendarStore::kFileName;
  std::vector<std::string> names;
  if (!platform::FileExists(path)) return names;
  for (const MailboxRecord& mailbox : CalendarStore(path).ListMailboxes())
    if (!mailbox.caldav && mailbox.owner == owner) names.push_back(mailbox.name);
  return names;
}

// "a", "a and b", "a, b and c"
std::string NameList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " and " : ", ";
    list += "\"" + names[i] + "\"";
  }
  return list;
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
  const std::string failure = "cannot add \"" + name + "\"";
  if (!platform::IsValidLocalAccountName(name))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::ERROR_INVALID_ACCOUNT_NAME, name));
  const std::string password = ReadNewPassword(io, prompt, name, arguments.Has("--password-stdin"));
  CheckNewPassword(password, failure);
  if (!platform::NetUserAdd(name, password))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::GetLastError(), name));
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
  CheckNewPassword(password, failure);
  if (!platform::NetUserSetPassword(name, password))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::GetLastError(), name));
  io.out << "Changed the password of " << Qualified(account.Name) << ".\n";
  return 0;
}

int Delete(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = AccountName(arguments, "delete");
  const std::string failure = "cannot delete \"" + name + "\"";
  const platform::LocalAccount account = ExistingAccount(name, failure);
  // A mailbox whose owner is gone can never be logged on to again.
  const std::vector<std::string> owned = OwnedMailboxes(account.UserSid);
  if (!owned.empty() && !arguments.Has("--force"))
    throw EToolFailure(failure + ": it owns the " + (owned.size() == 1 ? "mailbox " : "mailboxes ") +
                       NameList(owned) +
                       " (give them another owner with qvanctl mailbox set, or delete with --force)");
  if (!platform::NetUserDel(name))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::GetLastError(), name));
  io.out << "Deleted account " << Qualified(account.Name) << ".\n";
  if (!owned.empty())
    io.out << "Note: nobody can log on to the " << (owned.size() == 1 ? "mailbox " : "mailboxes ")
           << NameList(owned) << " any more.\n";
  return 0;
}

int SetDisabled(const ToolArguments& arguments, ToolStreams& io, bool disabled) {
  const std::string action = disabled ? "disable" : "enable";
  const std::string& name = AccountName(arguments, action);
  const std::string failure = "cannot " + action + " \"" + name + "\"";
  const platform::LocalAccount account = ExistingAccount(name, failure);
  if (!platform::NetUserSetDisabled(name, disabled))
    throw EToolFailure(failure + ": " + AccountErrorText(platform::GetLastError(), name));
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
                             {"delete", {{"--force"}, {}}, Delete},
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
