//===- platform/SystemError.cpp - errno to Windows error numbers ----------===//

#include "platform/SystemError.h"

#include <cerrno>

namespace korvex {
namespace {

struct ErrnoMapping {
  int err;
  std::uint32_t win32;
};

// The one place where errno meets Windows numbers. Where several Windows
// numbers could fit, the one the original client would have seen from the
// equivalent Win32 call is chosen (a directory opened as a file is "access
// denied" there, a busy file a sharing violation).
constexpr ErrnoMapping kErrnoTable[] = {
    {ENOENT, 2},         // ERROR_FILE_NOT_FOUND
    {ENOTDIR, 3},        // ERROR_PATH_NOT_FOUND
    {EMFILE, 4},         // ERROR_TOO_MANY_OPEN_FILES
    {ENFILE, 4},         //
    {EACCES, 5},         // ERROR_ACCESS_DENIED
    {EPERM, 5},          //
    {EISDIR, 5},         //
    {EBADF, 6},          // ERROR_INVALID_HANDLE
    {ENOMEM, 8},         // ERROR_NOT_ENOUGH_MEMORY
    {ENODEV, 15},        // ERROR_INVALID_DRIVE
    {EXDEV, 17},         // ERROR_NOT_SAME_DEVICE
    {EROFS, 19},         // ERROR_WRITE_PROTECT
    {ESPIPE, 25},        // ERROR_SEEK
    {ETXTBSY, 32},       // ERROR_SHARING_VIOLATION
    {EWOULDBLOCK, 33},   // ERROR_LOCK_VIOLATION (a refused non-blocking lock)
    {EDEADLK, 33},       //
    {ENOSYS, 50},        // ERROR_NOT_SUPPORTED
    {EOPNOTSUPP, 50},    //
    {EEXIST, 80},        // ERROR_FILE_EXISTS
    {EINVAL, 87},        // ERROR_INVALID_PARAMETER
    {EPIPE, 109},        // ERROR_BROKEN_PIPE
    {ENOSPC, 112},       // ERROR_DISK_FULL
    {ERANGE, 122},       // ERROR_INSUFFICIENT_BUFFER
    {ENOTEMPTY, 145},    // ERROR_DIR_NOT_EMPTY
    {EBUSY, 170},        // ERROR_BUSY
    {ENAMETOOLONG, 206}, // ERROR_FILENAME_EXCED_RANGE
    {EFBIG, 223},        // ERROR_FILE_TOO_LARGE
    {EFAULT, 998},       // ERROR_NOACCESS
    {EIO, 1117},         // ERROR_IO_DEVICE
    {ECANCELED, 1223},   // ERROR_CANCELLED
    {ECONNREFUSED, 1225},// ERROR_CONNECTION_REFUSED
    {ENETUNREACH, 1231}, // ERROR_NETWORK_UNREACHABLE
    {EHOSTUNREACH, 1232},// ERROR_HOST_UNREACHABLE
    {ECONNABORTED, 1236},// ERROR_CONNECTION_ABORTED
    {ETIMEDOUT, 1460},   // ERROR_TIMEOUT
    {EDQUOT, 1295},      // ERROR_DISK_QUOTA_EXCEEDED
    {ELOOP, 1921},       // ERROR_CANT_RESOLVE_FILENAME
    {ECONNRESET, 10054}, // WSAECONNRESET
};

}  // namespace

std::uint32_t Win32ErrorFromErrno(int err) noexcept {
  if (err == 0) return 0;
  for (const ErrnoMapping& m : kErrnoTable) {
    if (m.err == err) return m.win32;
  }
  return kWin32GenFailure;
}

HRESULT HResultFromErrno(int err) noexcept {
  if (err == 0) return S_OK;
  return HResultFromWin32(Win32ErrorFromErrno(err));
}

HRESULT HResultFromLastErrno() noexcept { return HResultFromErrno(errno); }

}  // namespace korvex
