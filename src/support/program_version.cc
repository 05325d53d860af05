#include "support/program_version.h"

namespace qv {

std::string ProgramVersionText(const std::string& program) {
  return program + " (Quorvane) " + QV_VERSION_TEXT + "\n";
}

}  // namespace qv
