// Whether a program run by this user works on the state it is meant for. A user other than root who
// runs an administrator's program without QUORVANE_STATE_DIR would get a new, empty state of their
// own (the platform's rule) and see no mailbox of the machine's; the programs say so instead.
#pragma once

#include <string>

namespace qv {

// Empty when the program may go on: QUORVANE_STATE_DIR names the state, the machine's state is the
// caller's (root, or Windows), or the caller's own state exists already (made on purpose: a service
// installed by that user). Otherwise the line that says whose state it is and what to do:
// "<command> works on this machine's state in /var/lib/quorvane, which needs root: run it with sudo
// (or set QUORVANE_STATE_DIR to a state of your own)".
std::string StateDirectoryRefusal(const std::string& command);

}  // namespace qv
