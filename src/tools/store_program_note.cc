#include "tools/store_program_note.h"

#include <ostream>

#include "store/calendar_store.h"

namespace qv::tools {

void WarnWhenStoreProgramUnregistered(const CalendarStore& store, const std::string& tool,
                                      std::ostream& err) {
  const auto& registration = store.ProgramRegistration();
  if (!registration) return;
  using Outcome = StoreProgramRegistration::Outcome;
  const std::string consequence = "; the service will not start (event 125) until \"" +
                                  std::string(kStoreProgramName) + " register\" has run";
  if (registration->outcome == Outcome::kProgramMissing) {
    err << tool << ": warning: created the calendar store, but its program \"" << registration->program
        << "\" is missing, so it is not registered as the information store's program" << consequence << "\n";
  } else if (registration->outcome == Outcome::kRefused) {
    err << tool << ": warning: created the calendar store, but its program \"" << registration->program
        << "\" could not be registered as the information store's program: " << registration->reason
        << consequence << "\n";
  }
}

}  // namespace qv::tools
