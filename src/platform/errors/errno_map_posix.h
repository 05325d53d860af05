// Maps POSIX error numbers to the Windows error codes the rest of the system speaks. Internal to the
// POSIX platform layer: the one place where errno turns into a Windows code.
#pragma once

#include <cstdint>

namespace qv::platform::posix {

// The Windows error code for errno from a file, process or general call.
uint32_t WinErrorFromErrno(int error_number);
// The Windows error code for errno from taking a lock that guards a share mode: a conflicting lock is a
// sharing violation.
uint32_t WinErrorFromLockErrno(int error_number);
// The Winsock error code for errno from a socket call.
uint32_t WsaErrorFromErrno(int error_number);
// The Windows error code for errno from reading a connected socket, as ReadFile on a socket handle
// reports it: a dropped connection is ERROR_NETNAME_DELETED, one no longer connected
// ERROR_PIPE_NOT_CONNECTED; anything else as from a socket call.
uint32_t SocketReadErrorFromErrno(int error_number);

// The error number a Windows or Winsock code stands for, the first that maps to it (EACCES for
// ERROR_ACCESS_DENIED, EADDRINUSE for WSAEADDRINUSE); 0 when none does.
int ErrnoOfWinError(uint32_t code);

// SetLastError(WinErrorFromErrno(error_number)), returning the code set.
uint32_t SetLastErrorFromErrno(int error_number);

}  // namespace qv::platform::posix
