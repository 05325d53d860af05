// The service-control functions used when the service is removed: the local computer's name, opening
// the service control manager, whether a service runs, and stopping one and waiting for it.
#pragma once

#include <string>

#include "platform/services/service_control.h"

namespace qv {

// The computer's name as GetComputerName gives it into a buffer of 250 characters: empty when it
// cannot be read or does not fit.
std::string GetLocalComputerName();

// The manager of the machine (empty: the local one) with all access. Raises EWin32Error when it cannot
// be opened.
platform::ServiceHandle OpenServiceManager(const std::string& machine_name);

// True when the service's state is SERVICE_RUNNING. Raises EWin32Error when the manager or the service
// cannot be opened (a name that is no service's, for one).
bool IsServiceRunning(const std::string& machine_name, const std::string& service_name);

// Sends a service that has not stopped the stop control and waits, sleeping for the wait hint the
// service announces, until it has stopped, a query fails or it stops making progress. True when the
// last state read is SERVICE_STOPPED; a stopped service gets no control and gives true. Raises
// EWin32Error when the manager or the service cannot be opened.
bool StopServiceAndWait(const std::string& machine_name, const std::string& service_name);

}  // namespace qv
