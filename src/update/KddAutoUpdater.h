//===- update/KddAutoUpdater.h - Updates the network-check module -*- C++ -*-===//
///
/// Keeps the network-check module current. The module the package installs
/// may sit in a folder the user cannot write to, so updates go to a per-user
/// copy, which the loader prefers (see KorvexDiagnosisDllThunk.h).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "update/CAutoUpdater.h"

namespace korvex {

inline constexpr const char* kDiagnosisLibraryName = "libKorvexDiagnosis.so";
inline constexpr const char* kDiagnosisDescPath = "/KorvexDiagnosis.xml";
/// "/libKorvexDiagnosis-linux-x86_64.so" and the like.
[[nodiscard]] std::string DiagnosisBinaryPath();
/// The per-user copy: the application-data folder's
/// "KorvexDataSMB/libKorvexDiagnosis.so".
[[nodiscard]] std::filesystem::path UserDiagnosisLibraryPath();

class KddAutoUpdater final : public CAutoUpdater {
 public:
  /// `target` empty: UserDiagnosisLibraryPath().
  explicit KddAutoUpdater(std::string baseUrl, std::filesystem::path target = {});

  [[nodiscard]] std::filesystem::path GetTargetPath() const override { return target_; }
  [[nodiscard]] std::string GetDescPath() const override { return kDiagnosisDescPath; }
  [[nodiscard]] std::string GetBinaryPath() const override { return DiagnosisBinaryPath(); }
  /// Downloads into the temporary folder, then replaces the target with it.
  [[nodiscard]] HRESULT Update(Event* cancel) override;

 private:
  std::filesystem::path target_;
};

}  // namespace korvex
