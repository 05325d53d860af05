// quorvane-phone: the viewer that draws the service's decks as a phone would, in a desktop browser.
// It runs in the foreground until Ctrl+C or the system asks it to stop.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qv::phone {

// Wrong arguments exit 2, a viewer that cannot start (a port in use) 1, each after one line on err;
// --help shows the usage on out. Otherwise the first line on out is the viewer's address, and the
// program returns 0 once it is asked to stop.
int RunPhoneProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qv::phone
