#include "logging/event_source.h"

#include "config/registry_object.h"
#include "platform/process/module.h"
#include "support/general_functions.h"

namespace qv {

namespace {

std::string SourceNameOrProgramName(const std::string& source_name) {
  return source_name.empty() ? ExtractFileBaseName(platform::GetModuleFileName()) : source_name;
}

}  // namespace

TVeskApplLog::TVeskApplLog(const std::string& server_name, const std::string& source_name)
    : ServerName(server_name), SourceName(SourceNameOrProgramName(source_name)) {
  RegisterSource();
}

void TVeskApplLog::RegisterSource() {
  try {
    TRegistry registry;  // its own key opening asks for full access
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (registry.OpenKey(std::string(platform::kApplicationLogKey) + "\\" + SourceName, true) &&
        !registry.ValueExists("EventMessageFile")) {
      // Only a missing value is written: the installation alone decides where a source's catalogue is.
      registry.WriteString("EventMessageFile", platform::GetModuleFileName());
    }
  } catch (const ERegistryException&) {
    // The events are written all the same; a viewer shows them without their texts.
  }
}

}  // namespace qv
