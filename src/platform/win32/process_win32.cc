// Child processes with CreateProcess. The arguments are joined into one command line quoted by the
// rules the C runtime's parser undoes, so every argument arrives as it was given.
#include <vector>

#include "platform/process.h"
#include "platform/win32/wide_text.h"

#include "platform/win32/windows_api.h"

namespace qv::platform {

namespace {

std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  return quoted + L"\"";
}

}  // namespace

ChildProcess::~ChildProcess() {
  uint32_t ignored = 0;
  if (id_ != 0) Wait(&ignored);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  if (id_ != 0) {
    ::SetLastError(ERROR_BUSY);
    return false;
  }
  std::wstring command_line = QuotedArgument(win32::Wide(program));
  for (const std::string& argument : arguments) command_line += L" " + QuotedArgument(win32::Wide(argument));
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  // No application name: the system looks for the program as a command line's first word is looked
  // for, along PATH and with ".exe" added.
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    return false;
  ::CloseHandle(process.hThread);
  id_ = reinterpret_cast<intptr_t>(process.hProcess);
  return true;
}

bool ChildProcess::Wait(uint32_t* exit_code) {
  if (id_ == 0) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const HANDLE process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(id_));
  id_ = 0;
  DWORD code = 0;
  const bool ok =
      ::WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process, &code);
  const DWORD error = ::GetLastError();
  ::CloseHandle(process);
  if (!ok) {
    ::SetLastError(error);
    return false;
  }
  *exit_code = code;
  return true;
}

bool TerminateProcessById(uint32_t process_id, uint32_t exit_code) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, process_id);
  if (process == nullptr) return false;
  const bool ended = ::TerminateProcess(process, exit_code) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(process);
  if (!ended) ::SetLastError(error);
  return ended;
}

bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code) {
  ChildProcess child;
  return child.Start(program, arguments) && child.Wait(exit_code);
}

}  // namespace qv::platform
