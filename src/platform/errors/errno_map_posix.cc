#include "platform/errors/errno_map_posix.h"

#include <cerrno>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform::posix {

uint32_t WinErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EDQUOT: return ERROR_NOT_ENOUGH_QUOTA;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EBUSY: return ERROR_BUSY;
    case EAGAIN: return ERROR_LOCK_VIOLATION;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EIO: return ERROR_IO_DEVICE;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOLCK: return ERROR_SHARING_BUFFER_EXCEEDED;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENOEXEC: return ERROR_BAD_FORMAT;
    case EPIPE: return ERROR_NO_DATA;
    case ENOSYS:
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ESRCH: return ERROR_INVALID_THREAD_ID;
    case ELOOP: return ERROR_BAD_PATHNAME;
    case EFAULT: return ERROR_NOACCESS;
    case ECONNRESET: return ERROR_NETNAME_DELETED;
    case ENOTCONN: return ERROR_PIPE_NOT_CONNECTED;
    default: return ERROR_GEN_FAILURE;
  }
}

uint32_t WsaErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0: return ERROR_SUCCESS;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case EPIPE:
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WinErrorFromErrno(error_number);
  }
}

uint32_t SocketReadErrorFromErrno(int error_number) {
  switch (error_number) {
    case ECONNRESET:
    case ECONNABORTED:
    case ENETRESET:
    case ETIMEDOUT:  // retransmissions or keep-alive probes went unanswered
    case EHOSTUNREACH:
    case ENETUNREACH: return ERROR_NETNAME_DELETED;
    case ENOTCONN:
    case EPIPE:
    case ESHUTDOWN: return ERROR_PIPE_NOT_CONNECTED;
    default: return WsaErrorFromErrno(error_number);
  }
}

uint32_t WinErrorFromLockErrno(int error_number) {
  // A lock held by another open of the file is what Windows reports as a sharing violation.
  if (error_number == EAGAIN || error_number == EACCES) return ERROR_SHARING_VIOLATION;
  return WinErrorFromErrno(error_number);
}

int ErrnoOfWinError(uint32_t code) {
  // In the order of preference where several numbers map to one code.
  static constexpr int kNumbers[] = {
      ENOENT,       ENOTDIR,      EACCES,       EPERM,       EISDIR,          EBADF,
      ENOMEM,       EMFILE,       ENFILE,       EINVAL,      EEXIST,          ENOSPC,
      EDQUOT,       EROFS,        EBUSY,        EAGAIN,      ENAMETOOLONG,    ENOTEMPTY,
      EXDEV,        EIO,          ETXTBSY,      ENOLCK,      EFBIG,           ENOEXEC,
      EPIPE,        ENOSYS,       ETIMEDOUT,    ESRCH,       ELOOP,           EFAULT,
      ECONNRESET,   ENOTCONN,     EINTR,        EINPROGRESS, EALREADY,        ENOTSOCK,
      EDESTADDRREQ, EMSGSIZE,     EPROTOTYPE,   ENOPROTOOPT, EPROTONOSUPPORT, ESOCKTNOSUPPORT,
      EOPNOTSUPP,   EPFNOSUPPORT, EAFNOSUPPORT, EADDRINUSE,  EADDRNOTAVAIL,   ENETDOWN,
      ENETUNREACH,  ENETRESET,    ECONNABORTED, ENOBUFS,     EISCONN,         ESHUTDOWN,
      ECONNREFUSED, EHOSTDOWN,    EHOSTUNREACH};
  if (code == ERROR_SUCCESS) return 0;
  for (const int number : kNumbers)
    if (WinErrorFromErrno(number) == code) return number;
  for (const int number : kNumbers)
    if (WsaErrorFromErrno(number) == code) return number;
  return 0;
}

uint32_t SetLastErrorFromErrno(int error_number) {
  const uint32_t code = WinErrorFromErrno(error_number);
  SetLastError(code);
  return code;
}

}  // namespace qv::platform::posix
