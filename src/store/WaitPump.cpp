//===- store/WaitPump.cpp - Event pump run by waits on the GUI thread -----===//

#include "store/WaitPump.h"

#include <utility>

namespace korvex {
namespace {

// Per thread by design: see the header.
thread_local WaitPumpHook tlsPump;

}  // namespace

void SetWaitPumpHook(WaitPumpHook hook) { tlsPump = std::move(hook); }

bool HasWaitPumpHook() noexcept { return static_cast<bool>(tlsPump); }

bool RunWaitPump() noexcept {
  if (!tlsPump) return false;
  // A nested wait may replace the hook while it runs; keep this one alive.
  WaitPumpHook pump = tlsPump;
  try {
    pump();
  } catch (...) {
  }
  return true;
}

}  // namespace korvex
