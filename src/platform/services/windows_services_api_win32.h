// The service control manager's part of the Windows headers, which windows_api_win32.h leaves out (it is
// outside WIN32_LEAN_AND_MEAN). Include it, like windows_api_win32.h, after every header of ours; the
// macros that rename the service functions to their wide forms are undone again.
#pragma once

#include "platform/os/windows_api_win32.h"

#include <winsvc.h>

#undef CreateService
#undef OpenSCManager
#undef OpenService
#undef RegisterServiceCtrlHandlerEx
#undef SERVICE_TABLE_ENTRY
#undef StartService
#undef StartServiceCtrlDispatcher
