// The Windows headers for the Win32 layer. Include this after every header of ours, in an include
// block of its own: windows.h defines the Windows names (ERROR_SUCCESS, KEY_READ, WM_USER ...) as
// macros with the values that our headers give the same names as constants, which would break our
// declarations if they came later. The macros that rename functions to their A/W forms
// (SendMessage → SendMessageW ...) and the few that clash with our names are undone here, so our
// definitions keep their names; the layer calls the system's wide forms by their full names
// (::SendMessageW) and its other functions with the global scope (::GetLastError).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
// clang-format on

// Functions and types of ours that windows.h renames to their A/W forms.
#undef CompareString
#undef CreateDirectory
#undef CreateFile
#undef CreateProcess
#undef CreateService
#undef CreateWindowEx
#undef DefWindowProc
#undef DeleteFile
#undef DispatchMessage
#undef FormatMessage
#undef GetClassInfo
#undef GetComputerName
#undef GetCurrentDirectory
#undef GetEnvironmentVariable
#undef GetFileAttributes
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef GetLocaleInfo
#undef GetMessage
#undef GetModuleFileName
#undef GetWindowLongPtr
#undef LogonUser
#undef LookupAccountName
#undef LookupAccountSid
#undef OpenEventLog
#undef OpenSCManager
#undef OpenService
#undef PeekMessage
#undef PostMessage
#undef PostThreadMessage
#undef ReadEventLog
#undef RegCreateKeyEx
#undef RegCreateKeyTransacted
#undef RegDeleteKey
#undef RegDeleteValue
#undef RegEnumKeyEx
#undef RegEnumValue
#undef RegisterClass
#undef RegisterEventSource
#undef RegisterServiceCtrlHandlerEx
#undef RegisterWindowMessage
#undef RegOpenKeyEx
#undef RegOpenKeyTransacted
#undef RegQueryInfoKey
#undef RegQueryValueEx
#undef RegSetValueEx
#undef ReportEvent
#undef SendMessage
#undef SERVICE_TABLE_ENTRY
#undef SetCurrentDirectory
#undef SetEnvironmentVariable
#undef SetFileAttributes
#undef SetWindowLongPtr
#undef StartService
#undef StartServiceCtrlDispatcher
#undef UnregisterClass
#undef VerQueryValue
// Other macros that clash with names of ours.
#undef interface
#undef DELETE
