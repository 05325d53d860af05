// The messaging library's second driver: the installed automation library itself, called through
// IDispatch (platform/com/automation.h). The session's members go by their dispatch identifiers, the
// members of every other object by name, read as method-or-property-get.
//
// Which driver serves: the session class is looked up with the system on every CreateSession; when
// the library's class is registered its session is used, and when it is not (always so on Linux)
// the calendar store's. Any other failure to create the library's session is raised.
#pragma once

#include <memory>

#include "platform/com/automation.h"

namespace qv {

namespace cdo {
class Session;
}

// A session over an automation object of the library (created for the session's dispatch interface).
std::shared_ptr<cdo::Session> WrapAutomationSession(std::shared_ptr<platform::AutomationObject> session);

// Registers the choice above under the library's class identifier; replaces the calendar store's
// registration. The program entry does this once at start.
void RegisterCdoAutomationDriver();

}  // namespace qv
