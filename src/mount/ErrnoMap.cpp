//===- mount/ErrnoMap.cpp - Status codes as the kernel wants them ---------===//

#include "mount/ErrnoMap.h"

#include "foundation/LogMgr.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvex::mount {

namespace {
constexpr const char* kCategory = "Mount";
constexpr HRESULT kPathNotFound = HResultFromWin32(3);
constexpr HRESULT kNameInvalid = HResultFromWin32(123);
}  // namespace

int ErrnoOf(HRESULT status) {
  if (Succeeded(status)) return 0;
  switch (status) {
    case HR_FILE_NOT_FOUND:
    case kPathNotFound:
      return ENOENT;
    case E_ACCESSDENIED:
      return EACCES;
    case HR_ALREADY_EXISTS:
      return EEXIST;
    case kQuotaExceeded:
    case HR_DISK_FULL:
      return ENOSPC;
    case kFolderNotEmpty:
      return ENOTEMPTY;
    case E_INVALIDARG:
    case kNameInvalid:
      return EINVAL;
    default:
      return EIO;
  }
}

int FailureLog::Report(const char* what, const std::string& path, HRESULT status) {
  const int error = ErrnoOf(status);
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    first = told_.emplace(path, status).second;
  }
  if (!first) return -error;
  LogMgr::Get().Warn(kCategory, "%s %s: 0x%08x (errno %d)", what, path.c_str(), static_cast<unsigned>(status), error);
  if (tell_) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(status));
    tell_(std::string(what) + " " + path + ": " + std::strerror(error) + " (" + code + ")");
  }
  return -error;
}

}  // namespace korvex::mount
