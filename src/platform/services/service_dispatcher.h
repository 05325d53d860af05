// The service process's side of the service control manager: the control dispatcher that runs a
// service (StartServiceCtrlDispatcher), the control handler the service registers
// (RegisterServiceCtrlHandlerEx) and the status it reports (SetServiceStatus).
//
// On Linux the program runs as the service in the foreground until the service has stopped. The
// process holds the service's run lock while it runs (a second instance fails with
// ERROR_SERVICE_ALREADY_RUNNING), reports every status to the status record that the manager reads,
// and, under systemd, to systemd (sd_notify: READY=1 once it runs, STATUS=, STOPPING=1, and the wait
// hints of pending states as EXTEND_TIMEOUT_USEC=). Controls arrive as signals: SIGTERM and SIGINT stop
// (shutdown instead when systemd is taking the system down), SIGUSR1 pause, SIGUSR2 continue, SIGHUP
// the change of parameters (SERVICE_CONTROL_PARAMCHANGE), which never ends the process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/services/service_control.h"

namespace qv::platform {

// The handle a service reports its status through. Opaque; 0 is none.
enum class SERVICE_STATUS_HANDLE : uintptr_t {};

// The service's main function, called on a thread of its own (the service thread) with the service's
// name as its only argument. It registers its control handler at once, reports its states, and
// returns once it has reported SERVICE_STOPPED.
using ServiceMainFunction = std::function<void(const std::vector<std::string>& arguments)>;

struct SERVICE_TABLE_ENTRY {
  std::string lpServiceName;
  ServiceMainFunction lpServiceProc;
};

// Runs the service of the table (one service: its own process) and returns when it has stopped: its
// main function has returned, or it has reported SERVICE_STOPPED and the main function has returned
// as well. A main function that returns without reporting SERVICE_STOPPED leaves the service stopped
// with ERROR_PROCESS_ABORTED. Controls are given to the handler on the calling thread. Fails with
// ERROR_SERVICE_ALREADY_RUNNING when the service runs already, ERROR_INVALID_PARAMETER for a table
// that does not hold exactly one service, ERROR_SERVICE_NO_THREAD when the thread cannot be started;
// only one dispatcher may run in a process at a time (ERROR_BUSY).
bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table);

// The control handler: (control, event type) → NO_ERROR (0), or ERROR_CALL_NOT_IMPLEMENTED for a
// control it does not handle. It is called on the dispatcher's thread and must return quickly.
using HandlerFunctionEx = std::function<uint32_t(uint32_t control, uint32_t event_type)>;

// Registers the control handler of a service of the running dispatcher; an empty handle
// (ERROR_SERVICE_DOES_NOT_EXIST) for a name the dispatcher does not run.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerEx(const std::string& service_name,
                                                   HandlerFunctionEx handler);

// Reports the service's status. ERROR_INVALID_HANDLE for a handle not registered; ERROR_INVALID_DATA
// for a state that is not one of the seven.
bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);

// A line that says why the service is in its state, such as the cause of a failed start. Under
// systemd it is the status text "systemctl status" shows (STATUS=), kept when the service reports
// SERVICE_STOPPED afterwards; the manager's clients read it with QueryServiceStatusText until the
// service runs again. Windows keeps no such text, so there it goes nowhere.
// ERROR_INVALID_HANDLE for a handle not registered.
bool SetServiceStatusText(SERVICE_STATUS_HANDLE handle, const std::string& text);

}  // namespace qv::platform
