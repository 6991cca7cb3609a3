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

#include <functional>

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

}  // namespace korvex
