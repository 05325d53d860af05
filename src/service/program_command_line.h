// The command line of the service program quorvane, read before anything else is made: help, the
// version and a mistake never read the settings, and a mistyped switch never starts the service.
#pragma once

#include <string>
#include <vector>

#include "platform/errors/exception.h"

namespace qv {

// A command line the program does not take; the program answers with the message and exits with 2.
QV_EXCEPTION_CLASS(ECommandLineError, Exception);

enum class ProgramAction {
  kRunService,  // no switch: the service in the foreground until it is stopped
  kInstall,
  kUninstall,
  kCheck,  // the settings and what they name tested, as nginx -t does
  kHelp,
  kVersion,
};

// What the arguments (the program's name left out) ask for. Switches are INSTALL, UNINSTALL and
// SILENT after "/" or "-" in any letter case (INSTALL winning when both are given), CHECK, HELP and
// VERSION the same way or after "--", "-h" and "/?"; help wins over everything else. An argument
// that begins with "/ServiceStartName=" or "/Password=" in any letter case belongs to INSTALL (the
// installation takes only the exact spelling). Raises ECommandLineError for any other argument, an
// installation argument without INSTALL, and CHECK or VERSION beside another switch.
ProgramAction ReadProgramCommandLine(const std::vector<std::string>& arguments);

// The text --help shows.
extern const char* const kProgramUsage;

}  // namespace qv
