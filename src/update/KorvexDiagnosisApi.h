//===- update/KorvexDiagnosisApi.h - The network-check module's calls -*- C++ -*-===//
///
/// The three calls libKorvexDiagnosis.so exports, shared by the module and
/// its loader. A check runs in the background:
///
///   KDD_StartDiagnosis --> running --(done or cancelled)--> finished
///        returns a descriptor that becomes readable once finished;
///        KDD_GetDiagnosis answers kDiagnosisPending until then.
///
/// The caller closes the descriptor. Texts are UTF-8.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "platform/HResult.h"

namespace korvex {

/// KDD_GetDiagnosis's answer while the check is still running (E_PENDING).
inline constexpr HRESULT kDiagnosisPending = MakeHResult(0x8000000Au);
/// The time limit the client gives each probe, in tenths of a second.
inline constexpr unsigned kDiagnosisProbeLimit = 100;
/// Size of the buffer the client reads the report into.
inline constexpr unsigned kDiagnosisReportSize = 4096;

}  // namespace korvex

extern "C" {
/// Starts a check of `targets` (blank-separated service URLs; empty: the
/// configured web site, API and data hosts). Each probe may take
/// `probeLimit` tenths of a second. Returns the descriptor, or -1 when a
/// check is already running or cannot start.
using KddStartDiagnosisFn = int (*)(const char* targets, unsigned probeLimit);
/// Copies the report (cut at `size` - 1 bytes, always terminated) and
/// returns the check's status: 0 all probes passed, kDiagnosisPending while
/// running, E_ABORT when cancelled, otherwise the first failure's status.
using KddGetDiagnosisFn = std::int32_t (*)(char* buffer, unsigned size);
/// Asks the running check to stop soon; its descriptor then becomes readable.
using KddCancelDiagnosisFn = void (*)();
}
