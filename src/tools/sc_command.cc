#include "tools/sc_command.h"

#include <cstdio>
#include <ostream>

#include "platform/last_error.h"
#include "platform/service_control.h"
#include "support/win_error_text.h"

namespace qv::tools {

namespace {

using namespace platform;

constexpr const char* kUsage =
    "Usage: qvanctl sc query|start|stop|pause|continue NAME\n"
    "\n"
    "Controls a service of the service control manager and shows its state as Windows' sc does.\n"
    "\n"
    "  query     shows the state of the service\n"
    "  start     starts the service and shows its state once it runs (or why it could not start)\n"
    "  stop      sends the stop control and shows the state the service reports (stop pending, as a rule)\n"
    "  pause     sends the pause control and shows the state the service reports\n"
    "  continue  sends the continue control and shows the state the service reports\n"
    "\n"
    "Exit 0 on success, 1 when the operation failed (\"[operation] FAILED code: text\"), 2 on a usage\n"
    "mistake.\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%x", value);
  return text;
}

std::string TypeText(uint32_t type) {
  std::string text = Hex(type) + "  ";
  switch (type & ~SERVICE_INTERACTIVE_PROCESS) {
    case SERVICE_KERNEL_DRIVER:
      text += "KERNEL_DRIVER";
      break;
    case SERVICE_FILE_SYSTEM_DRIVER:
      text += "FILE_SYSTEM_DRIVER";
      break;
    case SERVICE_WIN32_OWN_PROCESS:
      text += "WIN32_OWN_PROCESS";
      break;
    case SERVICE_WIN32_SHARE_PROCESS:
      text += "WIN32_SHARE_PROCESS";
      break;
    default:
      text += "WIN32";
      break;
  }
  if ((type & SERVICE_INTERACTIVE_PROCESS) != 0) text += "  (interactive)";
  return text;
}

const char* StateName(uint32_t state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "STOPPED";
    case SERVICE_START_PENDING:
      return "START_PENDING";
    case SERVICE_STOP_PENDING:
      return "STOP_PENDING";
    case SERVICE_RUNNING:
      return "RUNNING";
    case SERVICE_CONTINUE_PENDING:
      return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:
      return "PAUSE_PENDING";
    case SERVICE_PAUSED:
      return "PAUSED";
    default:
      return "";
  }
}

void PrintStatus(std::ostream& out, const std::string& name, const SERVICE_STATUS& status,
                 const SERVICE_STATUS_PROCESS* process) {
  const uint32_t accepted = status.dwControlsAccepted;
  out << "\nSERVICE_NAME: " << name << "\n";
  out << "        TYPE               : " << TypeText(status.dwServiceType) << "\n";
  out << "        STATE              : " << status.dwCurrentState << "  " << StateName(status.dwCurrentState)
      << "\n";
  if (status.dwCurrentState != SERVICE_STOPPED)
    out << "                                ("
        << ((accepted & SERVICE_ACCEPT_STOP) != 0 ? "STOPPABLE" : "NOT_STOPPABLE") << ", "
        << ((accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) != 0 ? "PAUSABLE" : "NOT_PAUSABLE") << ", "
        << ((accepted & SERVICE_ACCEPT_SHUTDOWN) != 0 ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN") << ")\n";
  out << "        WIN32_EXIT_CODE    : " << status.dwWin32ExitCode << "  (0x" << Hex(status.dwWin32ExitCode)
      << ")\n";
  out << "        SERVICE_EXIT_CODE  : " << status.dwServiceSpecificExitCode << "  (0x"
      << Hex(status.dwServiceSpecificExitCode) << ")\n";
  out << "        CHECKPOINT         : 0x" << Hex(status.dwCheckPoint) << "\n";
  out << "        WAIT_HINT          : 0x" << Hex(status.dwWaitHint) << "\n";
  if (process != nullptr) {
    out << "        PID                : " << process->dwProcessId << "\n";
    out << "        FLAGS              : "
        << "\n";
  }
}

int Failed(ToolStreams& io, const char* operation) {
  const uint32_t code = GetLastError();
  io.err << "qvanctl sc: " << operation << " FAILED " << code << ": "
         << GetWinErrorText(static_cast<int32_t>(code)) << "\n";
  return kFailed;
}

}  // namespace

int RunScCommand(const std::vector<std::string>& args, ToolStreams& io) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    io.out << kUsage;
    return 0;
  }
  if (args.size() != 2) {
    io.err << "qvanctl sc: expected an operation and a service name (try qvanctl sc --help)\n";
    return kUsageError;
  }
  const std::string& operation = args[0];
  const std::string& name = args[1];
  uint32_t access = 0;
  uint32_t control = 0;
  if (operation == "query") {
    access = SERVICE_QUERY_STATUS;
  } else if (operation == "start") {
    access = SERVICE_START | SERVICE_QUERY_STATUS;
  } else if (operation == "stop") {
    access = SERVICE_STOP;
    control = SERVICE_CONTROL_STOP;
  } else if (operation == "pause") {
    access = SERVICE_PAUSE_CONTINUE;
    control = SERVICE_CONTROL_PAUSE;
  } else if (operation == "continue") {
    access = SERVICE_PAUSE_CONTINUE;
    control = SERVICE_CONTROL_CONTINUE;
  } else {
    io.err << "qvanctl sc: unknown operation \"" << operation << "\" (try qvanctl sc --help)\n";
    return kUsageError;
  }

  const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_CONNECT));
  if (!manager) return Failed(io, "OpenSCManager");
  const ServiceHandle service(OpenService(manager.Get(), name, access));
  if (!service) return Failed(io, "OpenService");

  if (operation == "query") {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service.Get(), &status)) return Failed(io, "QueryService");
    PrintStatus(io.out, name, status, nullptr);
    return 0;
  }
  if (operation == "start") {
    if (!StartService(service.Get(), 0, nullptr)) return Failed(io, "StartService");
    SERVICE_STATUS_PROCESS status;
    if (!QueryServiceStatusEx(service.Get(), &status)) return Failed(io, "QueryServiceStatusEx");
    PrintStatus(io.out, name, status, &status);
    return 0;
  }
  SERVICE_STATUS status;
  if (!ControlService(service.Get(), control, &status)) return Failed(io, "ControlService");
  PrintStatus(io.out, name, status, nullptr);
  return 0;
}

}  // namespace qv::tools
