// Child processes with CreateProcess. The arguments are joined into one command line quoted by the
// rules the C runtime's parser undoes, so every argument arrives as it was given.
#include <vector>

#include "platform/process/process.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

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

// The file a child's standard output and error are appended to: opened inheritable, shared with
// writers of this process, and closed here once the child has its own copy. No file name: nothing.
class OutputForChild {
 public:
  explicit OutputForChild(const std::string& output_file) {
    if (output_file.empty()) return;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    handle_.reset(::CreateFileW(win32::Wide(output_file).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  bool Ready() const { return handle_.get() != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_.get(); }

 private:
  win32::UniqueHandle handle_;
};

// The attribute that limits what a child inherits to the handles given.
class InheritedHandleList {
 public:
  InheritedHandleList() = default;
  InheritedHandleList(const InheritedHandleList&) = delete;
  InheritedHandleList& operator=(const InheritedHandleList&) = delete;
  ~InheritedHandleList() {
    if (Get() != nullptr) ::DeleteProcThreadAttributeList(Get());
  }

  // The handle must outlive the list's use in CreateProcess.
  bool Prepare(HANDLE* handle) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    if (!::InitializeProcThreadAttributeList(Get(), 1, 0, &size)) {
      storage_.clear();
      return false;
    }
    return ::UpdateProcThreadAttribute(Get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle, sizeof(HANDLE),
                                       nullptr, nullptr) != 0;
  }
  LPPROC_THREAD_ATTRIBUTE_LIST Get() {
    return storage_.empty() ? nullptr : reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
  }

 private:
  std::vector<unsigned char> storage_;
};

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& output_file) {
  if (id_ != 0) {
    ::SetLastError(ERROR_BUSY);
    return false;
  }
  std::wstring command_line = QuotedArgument(win32::Wide(program));
  for (const std::string& argument : arguments) command_line += L" " + QuotedArgument(win32::Wide(argument));
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(STARTUPINFOW);
  const OutputForChild output(output_file);
  if (!output.Ready()) return false;
  InheritedHandleList inherited_handles;
  HANDLE inherited = output.Handle();
  if (inherited != nullptr) {
    // Standard output and error go to the file, and the child inherits that one handle only (not,
    // say, a listening socket of this process).
    if (!inherited_handles.Prepare(&inherited)) return false;
    startup.StartupInfo.cb = sizeof(startup);  // the extended form, with the attribute list
    startup.lpAttributeList = inherited_handles.Get();
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = inherited;
    startup.StartupInfo.hStdError = inherited;
  }
  PROCESS_INFORMATION process = {};
  // No application name: the system looks for the program as a command line's first word is looked
  // for, along PATH and with ".exe" added.
  const bool started = ::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, inherited != nullptr,
                                        inherited != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                        nullptr, &startup.StartupInfo, &process) != 0;
  if (!started) return false;
  ::CloseHandle(process.hThread);
  id_ = reinterpret_cast<intptr_t>(process.hProcess);
  process_id_ = process.dwProcessId;
  return true;
}

bool ChildProcess::Wait(uint32_t* exit_code) {
  return Wait(exit_code, INFINITE);
}

bool ChildProcess::Wait(uint32_t* exit_code, uint32_t timeout_ms) {
  if (id_ == 0) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const HANDLE process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(id_));
  const DWORD waited = ::WaitForSingleObject(process, timeout_ms);
  if (waited == WAIT_TIMEOUT) {
    ::SetLastError(ERROR_TIMEOUT);
    return false;
  }
  const win32::UniqueHandle ended(process);
  id_ = 0;
  process_id_ = 0;
  DWORD code = 0;
  if (waited != WAIT_OBJECT_0 || !::GetExitCodeProcess(process, &code)) return false;
  *exit_code = code;
  return true;
}

bool TerminateProcessById(uint32_t process_id, uint32_t exit_code) {
  const win32::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, process_id));
  return process && ::TerminateProcess(process.get(), exit_code) != 0;
}

}  // namespace qv::platform
