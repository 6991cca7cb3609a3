//===- update/KorvexDataAutoUpdater.cpp - Updates the program itself ------===//

#include "update/KorvexDataAutoUpdater.h"

#include "foundation/LogMgr.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "update/UpdateInstall.h"

#ifndef KORVEX_PLATFORM_NAME
#define KORVEX_PLATFORM_NAME "linux-x86_64"
#endif

namespace korvex {

std::string DesktopBinaryPath() { return "/ZEPH300-" KORVEX_PLATFORM_NAME ".bin"; }
std::string CommandLineBinaryPath() { return "/korvex-" KORVEX_PLATFORM_NAME ".bin"; }

KorvexDataAutoUpdater::KorvexDataAutoUpdater(std::string baseUrl, std::string binaryPath,
                                             std::filesystem::path program)
    : CAutoUpdater(std::move(baseUrl)),
      binaryPath_(std::move(binaryPath)),
      program_(program.empty() ? RunningProgramPath() : std::move(program)) {}

std::filesystem::path KorvexDataAutoUpdater::DownloadPath() const {
  return paths::TempDir() / program_.filename();
}

HRESULT KorvexDataAutoUpdater::Download(Event* cancel) { return DownloadBinary(DownloadPath(), cancel); }

HRESULT KorvexDataAutoUpdater::StartInstaller(pid_t* pid) const {
  const HRESULT hr = StartProcess(DownloadPath(), {std::string(kUpdateWord), program_.string()}, pid);
  if (Failed(hr)) {
    LogMgr::Get().Error("AutoUpdater", "Starting %s failed: hr = 0x%08X", DownloadPath().c_str(),
                        static_cast<unsigned>(hr));
  }
  return hr;
}

HRESULT KorvexDataAutoUpdater::Update(Event* cancel) {
  if (const HRESULT hr = Download(cancel); Failed(hr)) return hr;
  return StartInstaller();
}

}  // namespace korvex
