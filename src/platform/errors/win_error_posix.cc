// The system message texts of the Windows error codes, as FormatMessage gives them in one line.
#include <cstring>
#include <unordered_map>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

namespace {

const std::unordered_map<uint32_t, const char*>& MessageTable() {
  static const std::unordered_map<uint32_t, const char*> table = {
      {ERROR_SUCCESS, "The operation completed successfully."},
      {ERROR_INVALID_FUNCTION, "Incorrect function."},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {ERROR_INVALID_HANDLE, "The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
      {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format."},
      {ERROR_INVALID_DATA, "The data is invalid."},
      {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
      {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
      {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
      {ERROR_NO_MORE_FILES, "There are no more files."},
      {ERROR_WRITE_PROTECT, "The media is write protected."},
      {ERROR_NOT_READY, "The device is not ready."},
      {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
      {ERROR_READ_FAULT, "The system cannot read from the specified device."},
      {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
      {ERROR_SHARING_VIOLATION,
       "The process cannot access the file because it is being used by another process."},
      {ERROR_LOCK_VIOLATION,
       "The process cannot access the file because another process has locked a portion of the file."},
      {ERROR_SHARING_BUFFER_EXCEEDED, "Too many files opened for sharing."},
      {ERROR_HANDLE_EOF, "Reached the end of the file."},
      {ERROR_HANDLE_DISK_FULL, "The disk is full."},
      {ERROR_NOT_SUPPORTED, "The request is not supported."},
      {ERROR_BAD_NETPATH, "The network path was not found."},
      {ERROR_UNEXP_NET_ERR, "An unexpected network error occurred."},
      {ERROR_NETNAME_DELETED, "The specified network name is no longer available."},
      {ERROR_FILE_EXISTS, "The file exists."},
      {ERROR_CANNOT_MAKE, "The directory or file cannot be created."},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {ERROR_BROKEN_PIPE, "The pipe has been ended."},
      {ERROR_OPEN_FAILED, "The system cannot open the device or file specified."},
      {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
      {ERROR_DISK_FULL, "There is not enough space on the disk."},
      {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
      {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
      {ERROR_BAD_PATHNAME, "The specified path is invalid."},
      {ERROR_BUSY, "The requested resource is in use."},
      {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
      {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
      {ERROR_NO_DATA, "The pipe is being closed."},
      {ERROR_PIPE_NOT_CONNECTED, "No process is on the other end of the pipe."},
      {ERROR_MORE_DATA, "More data is available."},
      {ERROR_NO_MORE_ITEMS, "No more data is available."},
      {ERROR_TOO_MANY_POSTS, "Too many posts were made to a semaphore."},
      {ERROR_DIRECTORY, "The directory name is invalid."},
      {ERROR_INVALID_IMAGE_HASH, "Windows cannot verify the digital signature for this file."},
      {ERROR_OPERATION_ABORTED,
       "The I/O operation has been aborted because of either a thread exit or an application request."},
      {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
      {ERROR_NOACCESS, "Invalid access to memory location."},
      {ERROR_NO_TOKEN, "An attempt was made to reference a token that does not exist."},
      {ERROR_BADDB, "The configuration registry database is corrupt."},
      {ERROR_BADKEY, "The configuration registry key is invalid."},
      {ERROR_CANTOPEN, "The configuration registry key could not be opened."},
      {ERROR_CANTREAD, "The configuration registry key could not be read."},
      {ERROR_CANTWRITE, "The configuration registry key could not be written."},
      {ERROR_REGISTRY_CORRUPT,
       "The registry is corrupted. The structure of one of the files containing registry data is "
       "corrupted, or the system's memory image of the file is corrupted, or the file could not be "
       "recovered because the alternate copy or log was absent or corrupted."},
      {ERROR_REGISTRY_IO_FAILED,
       "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, "
       "or write out, or flush, one of the files that contain the system's image of the registry."},
      {ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion."},
      {ERROR_DEPENDENT_SERVICES_RUNNING,
       "A stop control has been sent to a service that other running services are dependent on."},
      {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
      {ERROR_SERVICE_REQUEST_TIMEOUT,
       "The service did not respond to the start or control request in a timely fashion."},
      {ERROR_SERVICE_NO_THREAD, "A thread could not be created for the service."},
      {ERROR_SERVICE_DATABASE_LOCKED, "The service database is locked."},
      {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
      {ERROR_INVALID_SERVICE_ACCOUNT,
       "The account name is invalid or does not exist, or the password is invalid for the account name "
       "specified."},
      {ERROR_SERVICE_DISABLED,
       "The service cannot be started, either because it is disabled or because it has no enabled devices "
       "associated with it."},
      {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
      {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
      {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
      {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT,
       "The service process could not connect to the service controller."},
      {ERROR_EXCEPTION_IN_SERVICE, "An exception occurred in the service when handling the control request."},
      {ERROR_DATABASE_DOES_NOT_EXIST, "The database specified does not exist."},
      {ERROR_SERVICE_SPECIFIC_ERROR, "The service has returned a service-specific error code."},
      {ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."},
      {ERROR_SERVICE_LOGON_FAILED, "The service did not start due to a logon failure."},
      {ERROR_SERVICE_START_HANG, "After starting, the service hung in a start-pending state."},
      {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion."},
      {ERROR_SERVICE_EXISTS, "The specified service already exists."},
      {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
      {ERROR_NO_LOGON_SERVERS,
       "There are currently no logon servers available to service the logon request."},
      {ERROR_INVALID_ACCOUNT_NAME, "The name provided is not a properly formed account name."},
      {ERROR_USER_EXISTS, "The specified account already exists."},
      {ERROR_NO_SUCH_USER, "The specified account does not exist."},
      {ERROR_PASSWORD_RESTRICTION,
       "Unable to update the password. The value provided for the new password does not meet the length, "
       "complexity, or history requirements of the domain."},
      {ERROR_LOGON_FAILURE, "The user name or password is incorrect."},
      {ERROR_ACCOUNT_RESTRICTION,
       "Account restrictions are preventing this user from signing in. For example: blank passwords aren't "
       "allowed, sign-in times are limited, or a policy restriction has been enforced."},
      {ERROR_ACCOUNT_DISABLED, "This user can't sign in because this account is currently disabled."},
      {ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."},
      {ERROR_INVALID_SID, "The security ID structure is invalid."},
      {ERROR_INTERNAL_DB_ERROR, "The local security authority database contains an internal inconsistency."},
      {ERROR_ACCOUNT_EXPIRED, "The user's account has expired."},
      {ERROR_PASSWORD_MUST_CHANGE, "The user's password must be changed before signing in."},
      {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
      {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class."},
      {ERROR_WINDOW_OF_OTHER_THREAD, "Invalid window; it belongs to other thread."},
      {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
      {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist."},
      {ERROR_CLASS_HAS_WINDOWS, "Class still has open windows."},
      {ERROR_INVALID_INDEX, "Invalid index."},
      {ERROR_INVALID_THREAD_ID, "Invalid thread identifier."},
      {ERROR_NO_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the requested service."},
      {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
      {ERROR_EVENTLOG_FILE_CORRUPT, "The event log file is corrupted."},
      {ERROR_EVENTLOG_CANT_START,
       "No event log file could be opened, so the event logging service did not start."},
      {ERROR_LOG_FILE_FULL, "The event log file is full."},
      {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
      {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section."},
      {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file."},
      {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."},
      {ERROR_RESOURCE_LANG_NOT_FOUND,
       "The specified resource language ID cannot be found in the image file."},
      {ERROR_NOT_ENOUGH_QUOTA, "Not enough quota is available to process this command."},
      {WSAEINTR, "A blocking operation was interrupted by a call to WSACancelBlockingCall."},
      {WSAEBADF, "The file handle supplied is not valid."},
      {WSAEACCES, "An attempt was made to access a socket in a way forbidden by its access permissions."},
      {WSAEFAULT,
       "The system detected an invalid pointer address in attempting to use a pointer argument in a call."},
      {WSAEINVAL, "An invalid argument was supplied."},
      {WSAEMFILE, "Too many open sockets."},
      {WSAEWOULDBLOCK, "A non-blocking socket operation could not be completed immediately."},
      {WSAEINPROGRESS, "A blocking operation is currently executing."},
      {WSAEALREADY,
       "An operation was attempted on a non-blocking socket that already had an operation in progress."},
      {WSAENOTSOCK, "An operation was attempted on something that is not a socket."},
      {WSAEDESTADDRREQ, "A required address was omitted from an operation on a socket."},
      {WSAEMSGSIZE,
       "A message sent on a datagram socket was larger than the internal message buffer or some other "
       "network limit, or the buffer used to receive a datagram into was smaller than the datagram itself."},
      {WSAEPROTOTYPE,
       "A protocol was specified in the socket function call that does not support the semantics of the "
       "socket type requested."},
      {WSAENOPROTOOPT,
       "An unknown, invalid, or unsupported option or level was specified in a getsockopt or setsockopt "
       "call."},
      {WSAEPROTONOSUPPORT,
       "The requested protocol has not been configured into the system, or no implementation for it exists."},
      {WSAESOCKTNOSUPPORT,
       "The support for the specified socket type does not exist in this address family."},
      {WSAEOPNOTSUPP, "The attempted operation is not supported for the type of object referenced."},
      {WSAEPFNOSUPPORT,
       "The protocol family has not been configured into the system or no implementation for it exists."},
      {WSAEAFNOSUPPORT, "An address incompatible with the requested protocol was used."},
      {WSAEADDRINUSE,
       "Only one usage of each socket address (protocol/network address/port) is normally permitted."},
      {WSAEADDRNOTAVAIL, "The requested address is not valid in its context."},
      {WSAENETDOWN, "A socket operation encountered a dead network."},
      {WSAENETUNREACH, "A socket operation was attempted to an unreachable network."},
      {WSAENETRESET,
       "The connection has been broken due to keep-alive activity detecting a failure while the operation "
       "was in progress."},
      {WSAECONNABORTED, "An established connection was aborted by the software in your host machine."},
      {WSAECONNRESET, "An existing connection was forcibly closed by the remote host."},
      {WSAENOBUFS,
       "An operation on a socket could not be performed because the system lacked sufficient buffer space "
       "or because a queue was full."},
      {WSAEISCONN, "A connect request was made on an already connected socket."},
      {WSAENOTCONN,
       "A request to send or receive data was disallowed because the socket is not connected and (when "
       "sending on a datagram socket using a sendto call) no address was supplied."},
      {WSAESHUTDOWN,
       "A request to send or receive data was disallowed because the socket had already been shut down in "
       "that direction with a previous shutdown call."},
      {WSAETIMEDOUT,
       "A connection attempt failed because the connected party did not properly respond after a period of "
       "time, or established connection failed because connected host has failed to respond."},
      {WSAECONNREFUSED, "No connection could be made because the target machine actively refused it."},
      {WSAENAMETOOLONG, "Name too long."},
      {WSAEHOSTDOWN, "A socket operation failed because the destination host was down."},
      {WSAEHOSTUNREACH, "A socket operation was attempted to an unreachable host."},
      {WSASYSNOTREADY,
       "WSAStartup cannot function at this time because the underlying system it uses to provide network "
       "services is currently unavailable."},
      {WSANOTINITIALISED, "Either the application has not called WSAStartup, or WSAStartup failed."},
      {WSAHOST_NOT_FOUND, "No such host is known."},
      {WSATRY_AGAIN,
       "This is usually a temporary error during hostname resolution and means that the local server did "
       "not receive a response from an authoritative server."},
      {WSANO_RECOVERY, "A non-recoverable error occurred during a database lookup."},
      {WSANO_DATA, "The requested name is valid, but no data of the requested type was found."},
  };
  return table;
}

}  // namespace

bool FormatSystemMessage(uint32_t code, std::string* text) {
  const auto& table = MessageTable();
  const auto found = table.find(code);
  if (found == table.end()) return false;
  *text = found->second;
  return true;
}

std::string SystemErrorText(uint32_t code) {
  // strerrordesc_np: the C library's English text whatever the locale, as in the journal's messages.
  if (const int number = posix::ErrnoOfWinError(code); number != 0)
    if (const char* text = strerrordesc_np(number)) return text;
  std::string text;
  if (!FormatSystemMessage(code, &text)) return "error " + std::to_string(code);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

bool SystemErrorsAreWindows() {
  return false;
}

}  // namespace qv::platform
