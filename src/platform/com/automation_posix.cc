// Linux has no automation libraries to create objects of; the messaging library's drivers fall back
// to the calendar store when the class is not registered.
#include "platform/com/automation.h"

namespace qv::platform {

HRESULT CreateAutomationObject(const Guid&, const Guid&, std::shared_ptr<AutomationObject>* object) {
  object->reset();
  return REGDB_E_CLASSNOTREG;
}

}  // namespace qv::platform
