//===- update/KddAutoUpdater.h - Updates the network-check module -*- C++ -*-===//
///
/// Keeps the network-check module current. The module the package installs
/// may sit in a folder the user cannot write to, so updates go to a per-user
/// copy. An update is due only when the published module is newer than
/// every usable copy (see DiagnosisModules.h): an older publication never
/// displaces a newer installed module, and a damaged per-user copy counts as
/// missing, so the next check replaces it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "update/CAutoUpdater.h"
#include "update/DiagnosisModules.h"

namespace korvex {

inline constexpr const char* kDiagnosisDescPath = "/KorvexDiagnosis.xml";
/// "/libKorvexDiagnosis-linux-x86_64.so" and the like.
[[nodiscard]] std::string DiagnosisBinaryPath();

class KddAutoUpdater final : public CAutoUpdater {
 public:
  /// `target` empty: UserDiagnosisLibraryPath().
  explicit KddAutoUpdater(std::string baseUrl, std::filesystem::path target = {});

  [[nodiscard]] std::filesystem::path GetTargetPath() const override { return target_; }
  [[nodiscard]] std::string GetDescPath() const override { return kDiagnosisDescPath; }
  [[nodiscard]] std::string GetBinaryPath() const override { return DiagnosisBinaryPath(); }
  /// Downloads (checked) into the temporary folder, then replaces the
  /// target with it.
  [[nodiscard]] HRESULT Update(Event* cancel) override;

 protected:
  /// The newest usable copy, installed or the target.
  [[nodiscard]] HRESULT QueryInstalledVersion(FileVersion& version) const override;

 private:
  std::filesystem::path target_;
};

}  // namespace korvex
