// The messaging library's first driver: the session and its objects served from the calendar store.
//
// Logon takes the profile information "server" CR LF "mailbox" (a lone LF does as well); the server
// must be this machine (127.0.0.1, ::1, localhost or the computer's name). A mailbox the store does
// not know logs on as the user named "Unknown". The version the session reports is "1.21".
//
// Members as the request handler meets them:
//   Logon             profile information missing, or a second logon: MAPI_E_LOGON_FAILED; no line
//                     break: MAPI_E_INVALID_PARAMETER; another server: MAPI_E_NETWORK_ERROR. The
//                     dialog, new-session, window and no-mail arguments change nothing. The mailbox
//                     name comes in Windows-1252 and is looked up in UTF-8 without regard to ASCII
//                     case; an empty name is an unknown mailbox.
//   CurrentUser       Name: the display name, or "Unknown" before logon, after logoff and for an
//                     unknown mailbox. Fields(PR_EMS_AB_ASSOC_NT_ACCOUNT): the owner's SID in
//                     upper-case hexadecimal, empty for "Unknown"; any other tag MAPI_E_NOT_FOUND.
//   GetDefaultFolder  the calendar only (MAPI_E_NO_SUPPORT); not logged on MAPI_E_NOT_INITIALIZED;
//                     "Unknown" MAPI_E_NOT_FOUND.
//   Filter            the latest start and the earliest end only (MAPI_E_NO_SUPPORT); the window is
//                     calendar_window.h's, so yesterday's all-day event, which ends at today's
//                     midnight, is not in today's window.
//   texts             UTF-8 in the store, Windows-1252 with CR LF line breaks here.
//   CheckMailboxPassword  for a mailbox bound to a CalDAV collection the server checks the password
//                     and the mirror is refreshed (exchange/caldav/collection_logon.h); entries left
//                     out go to the trace (level 2). The Windows build has no CalDAV client:
//                     MAPI_E_NO_SUPPORT there.
// A failure of the store or its database is raised as MAPI_E_CALL_FAILED.
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
