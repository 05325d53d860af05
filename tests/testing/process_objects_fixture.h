// The process-wide objects of one test in a sandbox of their own: a fresh state directory (so a
// fresh registry and event log, syslog copies off), the settings the test chooses written into its
// registry, then the objects the test chooses made from them as the program makes them
// (testing/process_wide_objects.h). Unless the settings name other files, the trace file and the
// request log are Qvan.trace and Qvan.log in the state directory. The objects go before the
// directory does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "testing/event_log_testing.h"
#include "testing/process_wide_objects.h"

namespace qv::testing {

// One value under HKEY_LOCAL_MACHINE\Software\HOLLBERG\Qvan: a number is written as REG_DWORD, a
// text as REG_SZ.
struct Setting {
  Setting(std::string name, uint32_t number) : name(std::move(name)), value(number) {}
  Setting(std::string name, std::string text) : name(std::move(name)), value(std::move(text)) {}

  std::string name;
  std::variant<uint32_t, std::string> value;
};

class ProcessObjectsFixture {
 public:
  explicit ProcessObjectsFixture(const std::vector<Setting>& settings = {},
                                 unsigned chosen = kProgramObjects);
  ProcessObjectsFixture(const ProcessObjectsFixture&) = delete;
  ProcessObjectsFixture& operator=(const ProcessObjectsFixture&) = delete;
  ~ProcessObjectsFixture();

  // Writes the setting; the objects read it when they are made again.
  static void Set(const Setting& setting);
  // Removes the objects and makes them again from the settings as they are now.
  void Restart();
  // Removes the objects; the writers write what they were sent before they go, so their files are
  // whole afterwards.
  void End();

  EventLogTestDir& State() { return state_; }
  std::string File(const std::string& name) const { return state_.File(name); }
  // The files the settings name.
  static std::string TraceFile();
  static std::string LogFile();

 private:
  EventLogTestDir state_;
  const unsigned chosen_;
  std::optional<ProcessWideObjects> objects_;
};

}  // namespace qv::testing
