// The password prompt on the process's console: the console's input mode without echo while the line
// is read, restored afterwards (also when Ctrl+C ends the process meanwhile: the console keeps the
// mode of its own input buffer, so the handler puts it back first).
#include <atomic>

#include "platform/process/console.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

std::atomic<HANDLE> prompting_input{nullptr};
std::atomic<DWORD> saved_mode{0};

BOOL WINAPI RestoreOnBreak(DWORD) {
  const HANDLE input = prompting_input.load();
  if (input != nullptr) ::SetConsoleMode(input, saved_mode.load());
  return FALSE;  // the default handler ends the process
}

}  // namespace

bool ReadConsolePassword(const std::string& prompt, std::string* password) {
  const win32::UniqueHandle input(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
  const win32::UniqueHandle output(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                 0, nullptr));
  DWORD mode = 0;
  if (!input || !output || !::GetConsoleMode(input.get(), &mode)) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const std::wstring shown = win32::Wide(prompt);
  DWORD written = 0;
  ::WriteConsoleW(output.get(), shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr);

  saved_mode = mode;
  prompting_input = input.get();
  ::SetConsoleCtrlHandler(RestoreOnBreak, TRUE);
  ::SetConsoleMode(input.get(), (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
  std::wstring line;
  bool ended = false;
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
  for (;;) {
    wchar_t piece[256];
    DWORD read = 0;
    if (!::ReadConsoleW(input.get(), piece, 256, &read, nullptr)) {
      failed = true;
      error = ::GetLastError();
      break;
    }
    if (read == 0) break;  // the input ended
    line.append(piece, read);
    const size_t end = line.find_first_of(L"\r\n");
    if (end != std::wstring::npos) {
      line.resize(end);
      ended = true;
      break;
    }
  }
  ::SetConsoleMode(input.get(), mode);
  prompting_input = nullptr;
  ::SetConsoleCtrlHandler(RestoreOnBreak, FALSE);
  ::WriteConsoleW(output.get(), L"\r\n", 2, &written, nullptr);  // the Enter that was not echoed
  if (failed) {
    ::SetLastError(error);
    return false;
  }
  if (!ended) {
    ::SetLastError(ERROR_HANDLE_EOF);
    return false;
  }
  *password = win32::Narrow(line);
  return true;
}

}  // namespace qv::platform
