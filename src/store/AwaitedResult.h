//===- store/AwaitedResult.h - A waited-for call result ---------*- C++ -*-===//
///
/// Owns the caller's reference of one AsyncResult: waits for it on
/// construction, reads its status and gives the reference back on
/// destruction. Objects of a Succeeded payload that nobody took are freed
/// then. (A result that did not succeed is left alone: a completer that lost
/// to a cancel may still be freeing its own payload.)
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/AsyncResult.h"
#include "store/IDataStoreRemote.h"

#include <optional>

namespace korvex {

/// How a waiter reads a complete result.
enum class OutcomeRule {
  kPayloadStatus,  ///< ReadOutcome: the payload's status, a cancel reads E_FAIL
  kCallStatus,     ///< ReadCallStatus: S_OK or the stored error, a cancel reads E_ABORT
};

class AwaitedResult {
 public:
  /// Takes over the caller's reference of `result` (not null) and waits for
  /// it, pumping the calling thread's events when `pumping` is set.
  AwaitedResult(AsyncResult* result, bool pumping,
                OutcomeRule rule = OutcomeRule::kPayloadStatus);
  ~AwaitedResult();
  AwaitedResult(const AwaitedResult&) = delete;
  AwaitedResult& operator=(const AwaitedResult&) = delete;

  [[nodiscard]] HRESULT Status() const noexcept { return status_; }

  /// Moves the payload out when it holds a `Tuple`; the caller then owns
  /// the objects it points to.
  template <class Tuple>
  [[nodiscard]] std::optional<Tuple> Take() {
    if (result_->State() != kAsyncSucceeded) return std::nullopt;
    const Tuple* payload = result_->PayloadAs<Tuple>();
    if (payload == nullptr) return std::nullopt;
    Tuple taken = *payload;
    result_->ClearPayload();
    return taken;
  }

 private:
  AsyncResult* result_;
  HRESULT status_;
};

}  // namespace korvex
