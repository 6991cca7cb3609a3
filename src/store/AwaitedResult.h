//===- store/AwaitedResult.h - A waited-for call result ---------*- C++ -*-===//
///
/// Owns the caller's reference of one AsyncResult: waits for it on
/// construction, reads its status and gives the reference back on
/// destruction. Objects of a Succeeded payload that nobody took are freed
/// then. (A result that did not succeed is left alone: a completer that lost
/// to a cancel may still be freeing its own payload.)
///
/// A pumping wait can be given up by the user (the pump offers Cancel). The
/// call is then cancelled through its back end, which stops its work, and
/// the status reads E_ABORT whatever the rule: the user chose to stop, and
/// telling that apart from a failure is what a window needs to say so. A
/// call cancelled any other way reads by the rule.
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
  /// `remote`, when given, is the back end that started the call; a wait
  /// the user gives up asks it to cancel the call.
  AwaitedResult(AsyncResult* result, bool pumping,
                OutcomeRule rule = OutcomeRule::kPayloadStatus,
                IDataStoreRemote* remote = nullptr);
  ~AwaitedResult();
  AwaitedResult(const AwaitedResult&) = delete;
  AwaitedResult& operator=(const AwaitedResult&) = delete;

  [[nodiscard]] HRESULT Status() const noexcept { return status_; }
  /// The user gave the wait up and the call ended cancelled.
  [[nodiscard]] bool GivenUp() const noexcept { return givenUp_; }

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
  bool givenUp_ = false;
};

}  // namespace korvex
