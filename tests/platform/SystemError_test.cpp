#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace korvex {
namespace {

TEST(SystemError, MapsErrnoToWindowsNumbersAndStatus) {
  struct Case { int err; std::uint32_t win32; HRESULT status; };
  const Case cases[] = {
      {0, 0, S_OK},
      {ENOENT, 2, HR_FILE_NOT_FOUND},
      {EEXIST, 80, HR_ALREADY_EXISTS},
      {ENOSPC, 112, HR_DISK_FULL},
      {EACCES, 5, E_ACCESSDENIED},
      {ENOMEM, 8, MakeHResult(0x80070008u)},
      // Anything without a counterpart is a general failure, still a failure.
      {EPROTONOSUPPORT, kWin32GenFailure, MakeHResult(0x8007001Fu)},
      {-1, 31, MakeHResult(0x8007001Fu)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(Win32ErrorFromErrno(c.err), c.win32);
    EXPECT_EQ(HResultFromErrno(c.err), c.status);
  }
  errno = ENOTEMPTY;
  EXPECT_EQ(HResultFromLastErrno(), MakeHResult(0x80070091u));
}

}  // namespace
}  // namespace korvex
