//===- platform/Event.h - Manual and auto-reset events ----------*- C++ -*-===//
///
/// Events with the semantics of the classic kernel events: a manual-reset
/// event stays signalled until Reset() and releases every waiter; an
/// auto-reset event releases exactly one waiter, whose successful wait resets
/// it. Each event is an eventfd, so Fd() can join a poll() set together with
/// sockets or pipes.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/HResult.h"

namespace korvex {

/// Timeout meaning "wait forever".
inline constexpr std::int64_t kInfinite = -1;
/// WaitAny's result when the time-out elapsed first.
inline constexpr int kWaitTimeout = -1;

class Event {
 public:
  /// Creates an event into `event` (reset to null first). When the kernel
  /// refuses an eventfd, typically because the process ran out of
  /// descriptors, returns the platform error as 0x8007xxxx (0x80070004 for
  /// too many open files): every pending asynchronous result holds an event,
  /// so a burst near the descriptor limit must fail one operation, not end
  /// the process.
  [[nodiscard]] static HRESULT Create(bool manualReset, bool initiallySet,
                                      std::unique_ptr<Event>& event);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  /// Signals the event. Setting a signalled event changes nothing.
  void Set();
  /// Clears the signal.
  void Reset();
  /// Waits until signalled or `timeoutMs` elapsed (kInfinite: no limit).
  /// True when signalled; an auto-reset event is consumed by a true return.
  [[nodiscard]] bool Wait(std::int64_t timeoutMs = kInfinite);

  /// Readable while signalled. Stays owned by the event.
  [[nodiscard]] int Fd() const noexcept { return fd_; }
  [[nodiscard]] bool IsManualReset() const noexcept { return manualReset_; }

  /// For auto-reset events: claims the signal if still present. Manual
  /// events report whether they are signalled. Never blocks.
  [[nodiscard]] bool TryConsume();

 private:
  Event(int fd, bool manualReset) : fd_(fd), manualReset_(manualReset) {}

  int fd_ = -1;
  bool manualReset_;
};

/// Waits until one of `events` is signalled and returns its index (the lowest
/// signalled one), or kWaitTimeout after `timeoutMs`. An auto-reset event is
/// consumed only when its index is returned. Null entries are not allowed;
/// an empty set sleeps for the time-out (an infinite one returns at once).
[[nodiscard]] int WaitAny(std::span<Event* const> events, std::int64_t timeoutMs);

}  // namespace korvex
