//===- tasks/StoreCall.h - A store call waited for with a stop event -*- C++ -*-===//
///
/// Tasks start asynchronous store calls and must give up the processor as
/// soon as their executor's stop event is set, so every wait of a task joins
/// the call's completion with the stop event. A call the stop event beats is
/// cancelled: the work keeps running, its late completion changes nothing.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "platform/Event.h"
#include "platform/HResult.h"
#include "store/AsyncResult.h"

namespace korvex {

/// The stop event won the wait; the call was cancelled.
inline constexpr HRESULT HR_TASK_STOPPED = E_ABORT;

/// Whether the executor's (manual-reset) stop event is set, without waiting.
[[nodiscard]] inline bool IsStopped(Event& stop) { return stop.Wait(0); }

/// Waits for `result` (not null) or `stop`. True when the call completed;
/// false when `stop` was set first, in which case the call is cancelled and
/// the caller's reference released.
[[nodiscard]] inline bool AwaitCall(AsyncResult* result, Event& stop) {
  Event* events[] = {&stop, &result->GetEvent()};
  for (;;) {
    const int which = WaitAny(events, 10000);
    if (which == 1) return true;
    if (which == 0) {
      result->CancelCall();
      result->Release();
      return false;
    }
  }
}

}  // namespace korvex
