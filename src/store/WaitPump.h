//===- store/WaitPump.h - Event pump run by waits on the GUI thread -*- C++ -*-===//
///
/// A thread that must keep its windows alive while it waits for a store call
/// (the GUI thread) installs a pump here; AsyncResult::WaitPumping then runs
/// it between short waits. The hook belongs to the thread that installed it:
/// an event pump of a widget toolkit must not run on any other thread, so a
/// pumping wait elsewhere is a plain wait.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace korvex {

/// Processes the pending events of the calling thread and returns; it must
/// not block. It may start nested pumping waits.
using WaitPumpHook = std::function<void()>;

/// Installs `hook` for the calling thread, replacing an earlier one; an empty
/// hook removes it.
void SetWaitPumpHook(WaitPumpHook hook);

/// True when the calling thread has a pump installed.
[[nodiscard]] bool HasWaitPumpHook() noexcept;

/// Runs the calling thread's pump once. False when there is none. An
/// exception escaping the hook is swallowed: the waits that call it promise
/// not to throw.
bool RunWaitPump() noexcept;

/// Marks a pumping wait of the calling thread for its lifetime, so that the
/// pump can tell how long the user has been kept waiting and can offer to
/// give the wait up. `cancel` ends the wait (it must make the waited-for
/// result complete); it runs on this thread, from inside the pump.
class PumpingWaitScope {
 public:
  explicit PumpingWaitScope(std::function<void()> cancel);
  ~PumpingWaitScope();
  PumpingWaitScope(const PumpingWaitScope&) = delete;
  PumpingWaitScope& operator=(const PumpingWaitScope&) = delete;
};

/// How many pumping waits of the calling thread are under way (nested ones
/// count each).
[[nodiscard]] int PumpingWaitDepth() noexcept;
/// How long the outermost pumping wait of the calling thread has run; none
/// when no wait runs. The outermost: a nested wait is part of what the user
/// has been waiting for.
[[nodiscard]] std::optional<std::chrono::milliseconds> PumpingWaitAge() noexcept;
/// Gives up every pumping wait of the calling thread, innermost first; false
/// when none runs.
bool CancelPumpingWaits() noexcept;

}  // namespace korvex
