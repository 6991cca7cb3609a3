//===- store/WaitPump.cpp - Event pump run by waits on the GUI thread -----===//

#include "store/WaitPump.h"

#include <utility>
#include <vector>

namespace korvex {
namespace {

// Per thread by design: see the header.
thread_local WaitPumpHook tlsPump;

struct OpenWait {
  std::chrono::steady_clock::time_point started;
  std::function<void()> cancel;
};
thread_local std::vector<OpenWait> tlsWaits;

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

namespace korvex {

PumpingWaitScope::PumpingWaitScope(std::function<void()> cancel) {
  tlsWaits.push_back({std::chrono::steady_clock::now(), std::move(cancel)});
}

PumpingWaitScope::~PumpingWaitScope() { tlsWaits.pop_back(); }

int PumpingWaitDepth() noexcept { return static_cast<int>(tlsWaits.size()); }

std::optional<std::chrono::milliseconds> PumpingWaitAge() noexcept {
  if (tlsWaits.empty()) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               tlsWaits.front().started);
}

bool CancelPumpingWaits() noexcept {
  if (tlsWaits.empty()) return false;
  // Copied: a cancel may not touch the list, but the scopes pop as the
  // waits return, which happens only after this pump pass.
  const std::vector<OpenWait> waits = tlsWaits;
  for (auto it = waits.rbegin(); it != waits.rend(); ++it) {
    try {
      if (it->cancel) it->cancel();
    } catch (...) {
    }
  }
  return true;
}

}  // namespace korvex
