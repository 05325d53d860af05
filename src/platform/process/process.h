// Running another program: start it with its arguments (CreateProcess) and wait for its exit code
// (WaitForSingleObject, GetExitCodeProcess). The child inherits the environment and the standard
// handles of this process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Waits for a child that still runs.
  ~ChildProcess();

  // Starts the program with the arguments that follow its name; a name without a path delimiter is
  // looked for along PATH. False, with the last error set, when it cannot be started.
  bool Start(const std::string& program, const std::vector<std::string>& arguments);
  // The same with the child's standard output and standard error appended to a file (created when
  // missing), as a service's console output goes to its log.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& output_file);
  // Waits until the child ends and gives its exit code; a child ended by a signal gives 128 + the
  // signal's number. False when no child runs.
  bool Wait(uint32_t* exit_code);
  // The same for at most timeout_ms: false with ERROR_TIMEOUT as the last error when the child still
  // runs then (it can be waited for again).
  bool Wait(uint32_t* exit_code, uint32_t timeout_ms);
  // The child's process id; 0 when none runs.
  uint32_t ProcessId() const { return process_id_; }

 private:
  int64_t id_ = 0;  // what the platform waits on: the process id on Linux, its handle on Windows
  uint32_t process_id_ = 0;
};

// Ends a process by its id at once (OpenProcess and TerminateProcess); on Linux it is killed
// (SIGKILL), so the exit code is not its own. False with the last error set when there is no such
// process or it may not be ended.
bool TerminateProcessById(uint32_t process_id, uint32_t exit_code);

// Starts a program and waits until it ends (Start, then Wait). False with the last error set when the
// program cannot be started.
bool RunProgram(const std::string& program, const std::vector<std::string>& arguments, uint32_t* exit_code);

}  // namespace qv::platform
