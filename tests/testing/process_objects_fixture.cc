#include "testing/process_objects_fixture.h"

#include <stdexcept>

#include "testing/machine_registry.h"
#include "testing/quorvane_entries.h"

namespace qv::testing {

namespace {

std::string SettingText(const char* name) {
  const std::optional<std::string> text = MachineValue(kSettingsKey, name);
  if (!text) throw std::runtime_error(std::string("No setting ") + name);
  return *text;
}

}  // namespace

ProcessObjectsFixture::ProcessObjectsFixture(const std::vector<Setting>& settings, unsigned chosen)
    : chosen_(chosen) {
  Set({"TraceFile", state_.File("Qvan.trace")});
  Set({"LogFile", state_.File("Qvan.log")});
  for (const Setting& setting : settings) Set(setting);
  objects_.emplace(chosen_);
}

ProcessObjectsFixture::~ProcessObjectsFixture() = default;

void ProcessObjectsFixture::Set(const Setting& setting) {
  if (const auto* number = std::get_if<uint32_t>(&setting.value)) {
    SetMachineDword(kSettingsKey, setting.name, *number);
  } else {
    SetMachineText(kSettingsKey, setting.name, std::get<std::string>(setting.value));
  }
}

void ProcessObjectsFixture::Restart() {
  objects_.reset();
  objects_.emplace(chosen_);
}

void ProcessObjectsFixture::End() {
  objects_.reset();
}

std::string ProcessObjectsFixture::TraceFile() {
  return SettingText("TraceFile");
}

std::string ProcessObjectsFixture::LogFile() {
  return SettingText("LogFile");
}

}  // namespace qv::testing
