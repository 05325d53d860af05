// The messaging library's first driver: the session and its objects served from the calendar store.
//
// Logon takes the profile information "server" CR LF "mailbox" (a lone LF does as well); the server
// must be this machine (127.0.0.1, ::1, localhost or the computer's name). A mailbox the store does
// not know logs on as the user named "Unknown". The version the session reports is "1.21".
#pragma once

#include <memory>

namespace qv {

namespace cdo {
class Session;
}

constexpr const char* kCdoVersion = "1.21";

// Registers the calendar store's session under the library's class identifier, so that
// cdo::CreateSession creates it. The program entry does this once at start; so do the tests.
void RegisterCalendarStoreDriver();

// A new session of the calendar store (no logon), for a driver that falls back to it.
std::shared_ptr<cdo::Session> CreateCalendarStoreSession();

}  // namespace qv
