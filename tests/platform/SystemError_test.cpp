#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace korvex {
namespace {

TEST(SystemError, MapsErrnoToWindowsNumbers) {
  struct Case {
    int err;
    std::uint32_t win32;
  };
  const Case cases[] = {
      {0, 0},           {ENOENT, 2},     {ENOTDIR, 3},     {EACCES, 5},     {EPERM, 5},
      {EBADF, 6},       {ENOMEM, 8},     {EXDEV, 17},      {EROFS, 19},     {EEXIST, 80},
      {EINVAL, 87},     {ENOSPC, 112},   {ENOTEMPTY, 145}, {EBUSY, 170},    {ENAMETOOLONG, 206},
      {EIO, 1117},      {EMFILE, 4},     {EISDIR, 5},      {ETIMEDOUT, 1460},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(Win32ErrorFromErrno(c.err), c.win32);
  }
}

TEST(SystemError, UnknownErrnoIsGeneralFailure) {
  EXPECT_EQ(Win32ErrorFromErrno(EPROTONOSUPPORT), kWin32GenFailure);
  EXPECT_EQ(Win32ErrorFromErrno(99999), 31u);
  EXPECT_EQ(Win32ErrorFromErrno(-1), 31u);
}

TEST(SystemError, HResultCarriesTheWindowsNumber) {
  EXPECT_EQ(HResultFromErrno(0), S_OK);
  EXPECT_EQ(HResultFromErrno(ENOENT), HR_FILE_NOT_FOUND);
  EXPECT_EQ(HResultFromErrno(EEXIST), HR_ALREADY_EXISTS);
  EXPECT_EQ(HResultFromErrno(ENOSPC), HR_DISK_FULL);
  EXPECT_EQ(HResultFromErrno(EACCES), E_ACCESSDENIED);
  EXPECT_EQ(HResultFromErrno(EINVAL), E_INVALIDARG);
  EXPECT_EQ(HResultFromErrno(ENOMEM), MakeHResult(0x80070008u));
  EXPECT_TRUE(Failed(HResultFromErrno(EPROTONOSUPPORT)));
  errno = ENOTEMPTY;
  EXPECT_EQ(HResultFromLastErrno(), MakeHResult(0x80070091u));
}

}  // namespace
}  // namespace korvex
