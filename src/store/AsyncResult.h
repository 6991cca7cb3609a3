//===- store/AsyncResult.h - Result of an asynchronous store call -*- C++ -*-===//
///
/// Every store operation starts its work and hands back an AsyncResult that
/// completes later, on whatever thread finishes the work (a pool thread, an
/// HTTP callback thread). The caller waits on it, reads the outcome and
/// releases its reference. The result's manual-reset event is its only
/// signal; it can join a WaitAny() together with a stop event.
///
/// Ownership: created with one reference for its creator; every holder (the
/// pending work, the caller) owns one and calls Release() once.
///
/// Memory ordering: a completer writes the payload and the message before it
/// calls Complete(). Complete() publishes the end state under the result's
/// lock and only then sets the event; State(), Error(), ReadOutcome() and
/// PayloadAs() take the same lock, so a reader that has seen a completed
/// state also sees the payload written before it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/Event.h"
#include "platform/HResult.h"
#include "store/ReferenceCounter.h"

#include <boost/any.hpp>
#include <boost/tuple/tuple.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace korvex {

enum AsyncState : std::int32_t {
  kAsyncSucceeded = 1,
  kAsyncPending = 2,
  kAsyncCancelled = 3,
  kAsyncFailed = 4,
};

/// WaitPumping's "no time limit".
inline constexpr std::uint32_t kWaitNoLimit = 0xFFFFFFFFu;

class AsyncResult : public ReferenceCounter {
 public:
  /// Creates a result with one reference for the creator into `*result`. A
  /// Pending result has its event clear; any other initial state is already
  /// complete and its event set. Fails with Event::Create's status (and
  /// `*result` null) when no event can be made.
  [[nodiscard]] static HRESULT Create(AsyncState initial, AsyncResult** result);

  /// Ends a Pending result: `error` = hr, state Failed when hr is negative,
  /// else Succeeded (S_FALSE included); then the event is set. A result that
  /// is no longer Pending is left untouched, so the first completion wins.
  /// Returns whether this call completed the result; a completer that lost
  /// must free whatever objects its payload owns (see DeletePayloadObjects).
  bool Complete(HRESULT hr);

  /// Ends a Pending result as Cancelled with E_ABORT and wakes every waiter.
  /// The work keeps running; its later Complete() changes nothing. Returns
  /// whether this call cancelled it.
  bool CancelCall();

  /// Waits without a time limit until the result is complete.
  void Wait();

  /// Waits like Wait() but runs the calling thread's pump (WaitPump.h)
  /// between waits of at most 1000 ms (shorter while a pump is installed, so
  /// that windows keep painting). Returns true once the result is complete,
  /// false when `timeoutMs` (kWaitNoLimit: never) elapsed first.
  /// When the user gives the wait up through the pump, `giveUp` runs (on
  /// this thread) and must make the result complete, as CancelCall() does;
  /// without one, CancelCall() is what gives it up.
  [[nodiscard]] bool WaitPumping(std::uint32_t timeoutMs = kWaitNoLimit,
                                 std::function<void()> giveUp = {});

  /// Set while the result is complete. Stays owned by the result.
  [[nodiscard]] Event& GetEvent() noexcept { return *event_; }

  [[nodiscard]] AsyncState State() const;
  /// 0 until completion; the Complete() status, or E_ABORT when cancelled.
  [[nodiscard]] HRESULT Error() const;

  /// Stores the operation's value; its first element is the operation's
  /// status. Call before Complete().
  template <class... Rest>
  void SetPayload(const boost::tuple<HRESULT, Rest...>& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    payload_ = payload;
    payloadStatus_ = boost::get<0>(payload);
    hasPayloadStatus_ = true;
  }
  /// Drops the payload (its owned objects are not deleted).
  void ClearPayload();
  /// Moves the payload out, leaving none, when `take(payload)` is true; an
  /// empty value otherwise. One step under the lock, so that of several
  /// threads freeing a payload's objects exactly one receives them.
  template <class Predicate>
  [[nodiscard]] boost::any TakePayloadIf(Predicate take) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (payload_.empty() || !take(static_cast<const boost::any&>(payload_))) return {};
    boost::any taken;
    taken.swap(payload_);
    payloadStatus_ = S_OK;
    hasPayloadStatus_ = false;
    return taken;
  }

  /// The payload when it holds exactly a `Tuple`, else null. Read it only
  /// after the result completed; the pointer lives as long as the result and
  /// its payload are left alone.
  template <class Tuple>
  [[nodiscard]] const Tuple* PayloadAs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boost::any_cast<Tuple>(&payload_);
  }
  /// Copy of the payload (shares the owned objects it points to).
  [[nodiscard]] boost::any Payload() const;

  /// Text for the user that a back end keeps with the result (the service's
  /// error message). Set it before Complete().
  void SetMessage(std::string message);
  [[nodiscard]] std::string Message() const;

 protected:
  /// For Create and for subclasses; `event` must not be null.
  AsyncResult(std::unique_ptr<Event> event, AsyncState initial);
  ~AsyncResult() override = default;

 private:
  friend HRESULT ReadOutcome(const AsyncResult& result);

  bool Finish(AsyncState state, HRESULT hr);

  const std::unique_ptr<Event> event_;
  mutable std::mutex mutex_;  // guards everything below
  AsyncState state_;
  HRESULT error_ = S_OK;
  boost::any payload_;
  HRESULT payloadStatus_ = S_OK;
  bool hasPayloadStatus_ = false;
  std::string message_;
};

/// The status a waiter reads from a complete result: Succeeded gives the
/// payload's first element (the completion status when no tuple payload was
/// stored), Failed gives `Error()`, anything else (Cancelled, still Pending)
/// gives E_FAIL.
[[nodiscard]] HRESULT ReadOutcome(const AsyncResult& result);

/// The rule of the code and report wrappers: S_OK when Succeeded, otherwise
/// `Error()` (so a cancelled call reads E_ABORT).
[[nodiscard]] HRESULT ReadCallStatus(const AsyncResult& result);

}  // namespace korvex
