//===- update/UpdateInstall.cpp - Replacing the installed program ---------===//

#include "update/UpdateInstall.h"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/format.hpp>

#include <fstream>
#include <iterator>
#include <thread>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "platform/AtomicFile.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "update/FileVersion.h"
#include "update/UpdateTexts.h"

namespace korvex {

namespace {

constexpr const char* kCategory = "AutoUpdater";
constexpr std::uint32_t kNoResult = 0xFFFFFFFFu;

}  // namespace

HRESULT CopyFileOver(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return HResultFromErrno(errno != 0 ? errno : ENOENT);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return HResultFromErrno(EIO);
  struct stat info {};
  const mode_t mode = ::stat(target.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0755;
  return WriteFileAtomically(target, content, mode);
}

HRESULT InstallUpdate(const std::filesystem::path& source, const std::filesystem::path& target,
                      const InstallOptions& options) {
  HRESULT result = E_FAIL;
  for (int attempt = 0; attempt < options.attempts; ++attempt) {
    result = CopyFileOver(source, target);
    if (Succeeded(result)) break;
    LogMgr::Get().Warn(kCategory, "Replacing %s failed: hr = 0x%08X (attempt %d)", target.c_str(),
                       static_cast<unsigned>(result), attempt + 1);
    std::this_thread::sleep_for(options.pause);
  }
  if (!WriteDword(Hive::CurrentUser, kProductKey, kAutoUpdateResultName, static_cast<std::uint32_t>(result))) {
    LogMgr::Get().Error(kCategory, "Writing %s failed", kAutoUpdateResultName);
  }
  if (options.startTarget) {
    if (const HRESULT hr = StartProcess(target, {}); Failed(hr)) {
      LogMgr::Get().Error(kCategory, "Starting %s failed: hr = 0x%08X", target.c_str(), static_cast<unsigned>(hr));
    }
  }
  return result;
}

bool IsInstallTarget(const std::filesystem::path& target, const std::filesystem::path& self) {
  if (!target.is_absolute() || target.filename() != self.filename()) return false;
  std::error_code error;
  if (!std::filesystem::exists(target, error)) return true;
  FileVersion version = 0;
  return Succeeded(QueryFileVersion(target, version));
}

std::optional<HRESULT> TakeAutoUpdateResult() {
  const std::uint32_t value = ReadDword(Hive::CurrentUser, kProductKey, kAutoUpdateResultName, kNoResult);
  (void)DeleteValue(Hive::CurrentUser, kProductKey, kAutoUpdateResultName);
  if (value == kNoResult) return std::nullopt;
  return static_cast<HRESULT>(value);
}

std::string UpdateResultMessage(HRESULT result) {
  if (result == S_OK) return std::string(Text(kTxtUpdateSucceeded));
  if (result == E_ACCESSDENIED) return std::string(Text(kTxtUpdateNoPrivilege));
  return (boost::format(std::string(Text(kTxtUpdateFailedCode))) % static_cast<unsigned>(result)).str();
}

bool CanReplaceFile(const std::filesystem::path& target) {
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  if (::access(folder.c_str(), W_OK) != 0) return false;
  return ::access(target.c_str(), F_OK) != 0 || ::access(target.c_str(), W_OK) == 0;
}

}  // namespace korvex
