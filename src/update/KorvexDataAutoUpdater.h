//===- update/KorvexDataAutoUpdater.h - Updates the program itself -*- C++ -*-===//
///
/// Updates a program of the client (by default the running one). The new
/// file is downloaded into the temporary folder under the program's own file
/// name and started as "NEW update PROGRAM"; that copy then replaces PROGRAM
/// (see UpdateInstall.h) while this process ends.
///
/// The web site publishes one description for the product and one file per
/// program and platform ("/ZEPH300-linux-x86_64.bin" for the desktop client).
///
//===----------------------------------------------------------------------===//
#pragma once

#include <sys/types.h>

#include "update/CAutoUpdater.h"

namespace korvex {

/// The description of the product's programs.
inline constexpr const char* kProductDescPath = "/ZEPH300.xml";
/// The new desktop client and the new korvex for this platform.
[[nodiscard]] std::string DesktopBinaryPath();
[[nodiscard]] std::string CommandLineBinaryPath();

class KorvexDataAutoUpdater final : public CAutoUpdater {
 public:
  /// `program` empty: the running program.
  KorvexDataAutoUpdater(std::string baseUrl, std::string binaryPath, std::filesystem::path program = {});

  [[nodiscard]] std::filesystem::path GetTargetPath() const override { return program_; }
  [[nodiscard]] std::string GetDescPath() const override { return kProductDescPath; }
  [[nodiscard]] std::string GetBinaryPath() const override { return binaryPath_; }
  /// Download() then StartInstaller(): on success the caller should end.
  [[nodiscard]] HRESULT Update(Event* cancel) override;

  /// Where Download() puts the new file.
  [[nodiscard]] std::filesystem::path DownloadPath() const;
  [[nodiscard]] HRESULT Download(Event* cancel);
  /// Starts the downloaded file in update-install mode; `pid` as for
  /// StartProcess.
  [[nodiscard]] HRESULT StartInstaller(pid_t* pid = nullptr) const;

 private:
  std::string binaryPath_;
  std::filesystem::path program_;
};

}  // namespace korvex
