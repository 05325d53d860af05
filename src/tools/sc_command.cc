#include "tools/sc_command.h"

#include <cstdio>
#include <ostream>

#include "platform/errors/last_error.h"
#include "platform/services/service_control.h"
#include "support/service_functions.h"
#include "support/win_error_text.h"
#include "tools/tool_command.h"

namespace qv::tools {

namespace {

using namespace platform;

constexpr const char* kUsage =
    "Usage: qvanctl sc query|start|stop|restart|pause|continue NAME\n"
    "\n"
    "Controls a service of the service control manager and shows its state as Windows' sc does.\n"
    "\n"
    "  query     shows the state of the service\n"
    "  start     starts the service and shows its state once it runs (or why it could not start: the\n"
    "            code, and the service's own line when it gave one)\n"
    "  stop      sends the stop control and shows the state the service reports (stop pending, as a rule)\n"
    "  restart   stops the service when it runs or is paused, waits until it has stopped, and starts it\n"
    "            (a changed setting takes effect so)\n"
    "  pause     sends the pause control and shows the state the service reports\n"
    "  continue  sends the continue control and shows the state the service reports\n"
    "\n"
    "Exit 0 on success, 1 when the operation failed (\"[operation] FAILED code: text\"), 2 on a usage\n"
    "mistake.\n";

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

// The failure of a call to the service control manager, as Windows' sc reports it.
[[noreturn]] void Fail(const char* call) {
  const uint32_t code = GetLastError();
  throw EToolFailure(std::string(call) + " FAILED " + std::to_string(code) + ": " +
                     GetWinErrorText(static_cast<int32_t>(code)));
}

// The service named by the operation's one argument, opened for the access the operation needs.
ServiceHandle OpenNamedService(const std::string& name, uint32_t access) {
  const ServiceHandle manager(OpenSCManager("", "", SC_MANAGER_CONNECT));
  if (!manager) Fail("OpenSCManager");
  ServiceHandle service(OpenService(manager.Get(), name, access));
  if (!service) Fail("OpenService");
  return service;
}

const std::string& ServiceName(const ToolArguments& arguments, const std::string& operation) {
  return arguments.Positional(1, 1, operation + " takes one service name")[0];
}

int Query(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = ServiceName(arguments, "query");
  const ServiceHandle service = OpenNamedService(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status;
  if (!QueryServiceStatus(service.Get(), &status)) Fail("QueryService");
  PrintStatus(io.out, name, status, nullptr);
  return 0;
}

int Start(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = ServiceName(arguments, "start");
  const ServiceHandle service = OpenNamedService(name, SERVICE_START | SERVICE_QUERY_STATUS);
  if (!StartService(service.Get(), 0, nullptr)) {
    // Windows' code names no cause; the service's own line, where it gave one, does.
    const uint32_t code = GetLastError();
    std::string cause;
    QueryServiceStatusText(service.Get(), &cause);
    throw EToolFailure("StartService FAILED " + std::to_string(code) + ": " +
                       GetWinErrorText(static_cast<int32_t>(code)) +
                       (cause.empty() ? std::string() : " The service says: " + cause));
  }
  SERVICE_STATUS_PROCESS status;
  if (!QueryServiceStatusEx(service.Get(), &status)) Fail("QueryServiceStatusEx");
  PrintStatus(io.out, name, status, &status);
  return 0;
}

int Restart(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& name = ServiceName(arguments, "restart");
  // Opened first: a name that is no service's is told as by the other operations.
  OpenNamedService(name, SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
  try {
    if (!StopServiceAndWait("", name))
      throw EToolFailure("the service did not stop; it was not started again");
  } catch (const EWin32Error& error) {
    throw EToolFailure(std::string("ControlService FAILED ") + std::to_string(error.ErrorCode) + ": " +
                       error.Message());
  }
  return Start(arguments, io);
}

// stop, pause and continue: sends the control and shows the state the service reports.
ToolOperation Control(const char* operation, uint32_t access, uint32_t control) {
  return {operation, {}, [operation, access, control](const ToolArguments& arguments, ToolStreams& io) {
            const std::string& name = ServiceName(arguments, operation);
            const ServiceHandle service = OpenNamedService(name, access);
            SERVICE_STATUS status;
            if (!ControlService(service.Get(), control, &status)) Fail("ControlService");
            PrintStatus(io.out, name, status, nullptr);
            return 0;
          }};
}

}  // namespace

int RunScCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{"qvanctl sc",
                                    kUsage,
                                    "operation",
                                    OptionSpelling::kDashes,
                                    {{"query", {}, Query},
                                     {"start", {}, Start},
                                     Control("stop", SERVICE_STOP, SERVICE_CONTROL_STOP),
                                     {"restart", {}, Restart},
                                     Control("pause", SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_PAUSE),
                                     Control("continue", SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_CONTINUE)}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
