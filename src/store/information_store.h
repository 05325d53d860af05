// The calendar store stands in for the Exchange information store. Its maintenance program,
// quorvane-store, carries the version resource of one (ProductVersion 5.5, "Service Pack 2" in its
// Comments), and creating the machine's store registers that file as the information store's program
// (HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\MSExchangeIS, ImagePath), where the service's
// start-up check reads the version.
#pragma once

#include <string>

namespace qv {

constexpr const char* kStoreProgramName = "quorvane-store";
// Names the maintenance program's file in place of the one beside the running program (tests).
constexpr const char* kStoreProgramVariable = "QUORVANE_STORE_PROGRAM";

// The maintenance program's file: QUORVANE_STORE_PROGRAM when set and not empty, else quorvane-store
// in the running program's directory (it is built and installed beside the service and qvanctl).
std::string StoreProgramFile();

struct StoreProgramRegistration {
  enum class Outcome {
    kRegistered,      // ImagePath names the program now
    kKept,            // ImagePath named a program already and was left as it was
    kProgramMissing,  // the program file is not there, so nothing was written
    kRefused,         // the registry refused the write; reason says why
  };
  Outcome outcome = Outcome::kRefused;
  std::string program;  // the file registered or looked for; with kKept the one registered before
  std::string reason;
};

// Registers program as the information store's ImagePath (REG_SZ), the key created when missing.
// Without replace, a value that names a program already is kept. A file that is not there is never
// registered: the start-up check would read an empty version from it. Never raises.
StoreProgramRegistration RegisterStoreProgram(const std::string& program, bool replace);

}  // namespace qv
