#include "tools/store_maintenance.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>

#include "platform/files/file_system.h"
#include "platform/files/state_dir.h"
#include "platform/process/module.h"
#include "platform/sqlite/sqlite_database.h"
#include "store/calendar_store.h"
#include "store/information_store.h"
#include "support/program_version.h"
#include "support/state_directory_check.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

constexpr const char* kUsage =
    "Usage: quorvane-store check\n"
    "       quorvane-store vacuum\n"
    "       quorvane-store register\n"
    "       quorvane-store --help | --version\n"
    "\n"
    "Maintains the calendar store of this machine (calendar.db in the state directory). This program's\n"
    "file stands for the information store's: the service's start-up check reads its version, and the\n"
    "store registers it when the store is created.\n"
    "\n"
    "  check     checks the store's database: every page and index, the links between mailboxes,\n"
    "            events, texts and appointments; exits with 1 when it finds a fault\n"
    "  vacuum    rebuilds the database without its free pages, giving their space back to the disk\n"
    "  register  registers this program as the information store's program, replacing what was\n"
    "            registered (after moving the programs, or for a store made while it was missing)\n";

// At most this many faults are listed one by one.
constexpr int kFaultsListed = 20;

// The machine's store file; raises EToolFailure when there is none, since maintenance never creates
// one.
std::string ExistingStoreFile() {
  const std::string path =
      platform::PlatformStateDirectory() + platform::PathDelimiter() + CalendarStore::kFileName;
  if (!platform::FileExists(path))
    throw EToolFailure("there is no calendar store at \"" + path + "\" (qvanctl mailbox add creates it)");
  return path;
}

int64_t SingleNumber(platform::SqliteDatabase& database, const std::string& sql) {
  auto query = database.Prepare(sql);
  return query.Step() ? query.ColumnInt64(0) : 0;
}

// Raises EToolFailure when the database is not a calendar store: the store sets its user_version.
void RequireCalendarStore(platform::SqliteDatabase& database) {
  if (SingleNumber(database, "PRAGMA user_version") == 0)
    throw EToolFailure("\"" + database.Path() + "\" is no calendar store");
}

int Check(ToolStreams& io) {
  const std::string path = ExistingStoreFile();
  platform::SqliteDatabase database(path, platform::SqliteDatabase::Mode::kReadOnly);
  RequireCalendarStore(database);

  std::vector<std::string> faults;
  {
    auto integrity = database.Prepare("PRAGMA integrity_check");
    while (integrity.Step()) {
      const std::string line = integrity.ColumnText(0);
      if (line != "ok") faults.push_back(line);
    }
  }
  {
    auto links = database.Prepare("PRAGMA foreign_key_check");
    while (links.Step()) {
      faults.push_back("row " + std::to_string(links.ColumnInt64(1)) + " of " + links.ColumnText(0) +
                       " refers to a missing row of " + links.ColumnText(2));
    }
  }
  // The pages read appointments by their own mailbox column, which no foreign key ties to the event's.
  const int64_t strays =
      SingleNumber(database,
                   "SELECT count(*) FROM appointments a JOIN texts t ON t.id = a.text_id "
                   "JOIN events e ON e.id = t.event_id WHERE a.mailbox_id <> e.mailbox_id");
  if (strays > 0)
    faults.push_back(std::to_string(strays) +
                     " appointments are filed under another mailbox than their event");

  if (!faults.empty()) {
    for (size_t i = 0; i < faults.size() && i < kFaultsListed; ++i) io.out << faults[i] << "\n";
    if (faults.size() > kFaultsListed) io.out << "... and " << faults.size() - kFaultsListed << " more\n";
    throw EToolFailure("\"" + path + "\" is damaged: " + std::to_string(faults.size()) + " faults");
  }
  io.out << path << ": ok; " << SingleNumber(database, "SELECT count(*) FROM mailboxes") << " mailboxes, "
         << SingleNumber(database, "SELECT count(*) FROM events") << " events, "
         << SingleNumber(database, "SELECT count(*) FROM appointments") << " appointments.\n";
  return 0;
}

int Vacuum(ToolStreams& io) {
  const std::string path = ExistingStoreFile();
  platform::SqliteDatabase database(path, platform::SqliteDatabase::Mode::kReadWrite);
  RequireCalendarStore(database);
  const int64_t page_size = SingleNumber(database, "PRAGMA page_size");
  const int64_t before = SingleNumber(database, "PRAGMA page_count") * page_size;
  database.Exec("VACUUM");
  // The rebuilt pages are in the write-ahead log until a checkpoint puts them into the file.
  database.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  const int64_t after = SingleNumber(database, "PRAGMA page_count") * page_size;
  io.out << path << ": " << before / 1024 << " KB before, " << after / 1024 << " KB after.\n";
  return 0;
}

int Register(ToolStreams& io, const std::string& own_file) {
  const StoreProgramRegistration registration = RegisterStoreProgram(own_file, true);
  switch (registration.outcome) {
    case StoreProgramRegistration::Outcome::kRegistered:
    case StoreProgramRegistration::Outcome::kKept:
      io.out << "Registered \"" << registration.program << "\" as the information store's program.\n";
      return 0;
    case StoreProgramRegistration::Outcome::kProgramMissing:
      throw EToolFailure("cannot register \"" + own_file + "\": the file is not there");
    case StoreProgramRegistration::Outcome::kRefused:
      break;
  }
  throw EToolFailure("cannot register \"" + own_file + "\": " + registration.reason);
}

}  // namespace

int RunStoreMaintenance(const std::vector<std::string>& args, ToolStreams& io, const std::string& own_file) {
  if (!args.empty() && args[0] == "--version") {
    io.out << ProgramVersionText(kStoreProgramName);
    return 0;
  }
  const bool help =
      args.empty() || args[0] == "help" || std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return IsHelpOption(arg, OptionSpelling::kDashes);
      });
  if (!help) {
    if (const std::string refusal = StateDirectoryRefusal("quorvane-store " + args[0]); !refusal.empty()) {
      io.err << kStoreProgramName << ": " << refusal << "\n";
      return 1;
    }
  }
  // Every subcommand goes without arguments.
  const auto without_arguments = [](const std::string& name, std::function<int(ToolStreams&)> run) {
    return ToolOperation{name, {}, [name, run](const ToolArguments& arguments, ToolStreams& streams) {
                           arguments.Positional(0, 0, name + " takes no arguments");
                           return run(streams);
                         }};
  };
  const ToolCommand command{kStoreProgramName,
                            kUsage,
                            "subcommand",
                            OptionSpelling::kDashes,
                            {without_arguments("check", Check), without_arguments("vacuum", Vacuum),
                             without_arguments("register", [&own_file](ToolStreams& streams) {
                               return Register(streams, own_file);
                             })}};
  return RunToolCommand(command, args, io);
}

}  // namespace qv::tools
