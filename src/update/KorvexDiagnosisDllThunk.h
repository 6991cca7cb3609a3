//===- update/KorvexDiagnosisDllThunk.h - The loaded check module -*- C++ -*-===//
///
/// The network-check module is found, in this order: the per-user copy the
/// updater keeps current, the package's library folder, the folder of the
/// running program, then the dynamic loader's own search.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <vector>

#include "update/DllThunk.h"
#include "update/KorvexDiagnosisApi.h"

namespace korvex {

class KorvexDiagnosisDllThunk final : public DllThunk {
 public:
  /// Loads `name` (a path, or a file name looked for as above) and resolves
  /// the three calls; true only when all three were found.
  [[nodiscard]] bool LoadDiagnosis(const std::string& name);
  void Unload() override;

  KddStartDiagnosisFn start = nullptr;
  KddGetDiagnosisFn get = nullptr;
  KddCancelDiagnosisFn cancel = nullptr;
};

/// Where a file name given to LoadDiagnosis is looked for, best first.
[[nodiscard]] std::vector<std::filesystem::path> DiagnosisLibraryCandidates(const std::string& name);

}  // namespace korvex
