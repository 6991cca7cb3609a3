//===- store/AsyncResult.cpp - Result of an asynchronous store call -------===//

#include "store/AsyncResult.h"

#include "store/WaitPump.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <new>
#include <optional>
#include <utility>

namespace korvex {
namespace {

// Without a pump the wait only wakes to watch its time limit.
constexpr std::int64_t kPlainSliceMs = 1000;
// With a pump installed the windows must keep painting, so the pump runs
// about sixty times a second. (The pump cannot wake the wait itself.)
constexpr std::int64_t kPumpSliceMs = 16;

}  // namespace

HRESULT AsyncResult::Create(AsyncState initial, AsyncResult** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  std::unique_ptr<Event> event;
  const HRESULT hr = Event::Create(/*manualReset=*/true, /*initiallySet=*/initial != kAsyncPending, event);
  if (Failed(hr)) return hr;
  *result = new (std::nothrow) AsyncResult(std::move(event), initial);
  return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

AsyncResult::AsyncResult(std::unique_ptr<Event> event, AsyncState initial)
    : event_(std::move(event)), state_(initial) {
  assert(event_ != nullptr && "an AsyncResult needs its event");
}

bool AsyncResult::Finish(AsyncState state, HRESULT hr) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != kAsyncPending) return false;
    error_ = hr;
    state_ = state;
  }
  // Set outside the lock: a woken waiter takes the lock at once.
  event_->Set();
  return true;
}

bool AsyncResult::Complete(HRESULT hr) {
  return Finish(Failed(hr) ? kAsyncFailed : kAsyncSucceeded, hr);
}

bool AsyncResult::CancelCall() { return Finish(kAsyncCancelled, E_ABORT); }

void AsyncResult::Wait() { (void)event_->Wait(kInfinite); }

bool AsyncResult::WaitPumping(std::uint32_t timeoutMs, std::function<void()> giveUp) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutMs != kWaitNoLimit;
  const Clock::time_point start = Clock::now();
  // Only where a pump runs can anybody offer to give the wait up.
  std::optional<PumpingWaitScope> scope;
  if (HasWaitPumpHook()) {
    if (!giveUp) giveUp = [this] { (void)CancelCall(); };
    scope.emplace(std::move(giveUp));
  }
  for (;;) {
    std::int64_t slice = HasWaitPumpHook() ? kPumpSliceMs : kPlainSliceMs;
    if (limited) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      const std::int64_t remaining = static_cast<std::int64_t>(timeoutMs) - elapsed;
      // A result that completed meanwhile is reported as complete, even when
      // the time ran out while the pump was busy.
      if (remaining <= 0) return event_->Wait(0);
      slice = std::min(slice, remaining);
    }
    if (event_->Wait(slice)) return true;
    RunWaitPump();
  }
}

AsyncState AsyncResult::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

HRESULT AsyncResult::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void AsyncResult::ClearPayload() {
  std::lock_guard<std::mutex> lock(mutex_);
  payload_ = boost::any();
  payloadStatus_ = S_OK;
  hasPayloadStatus_ = false;
}

boost::any AsyncResult::Payload() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return payload_;
}

void AsyncResult::SetMessage(std::string message) {
  std::lock_guard<std::mutex> lock(mutex_);
  message_ = std::move(message);
}

std::string AsyncResult::Message() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return message_;
}

HRESULT ReadOutcome(const AsyncResult& result) {
  std::lock_guard<std::mutex> lock(result.mutex_);
  switch (result.state_) {
    case kAsyncSucceeded:
      return result.hasPayloadStatus_ ? result.payloadStatus_ : result.error_;
    case kAsyncFailed:
      return result.error_;
    default:
      return E_FAIL;
  }
}

HRESULT ReadCallStatus(const AsyncResult& result) {
  switch (result.State()) {
    case kAsyncSucceeded:
      return S_OK;
    case kAsyncPending:
      // Not finished is not success.
      return E_FAIL;
    default:
      return result.Error();
  }
}

}  // namespace korvex
