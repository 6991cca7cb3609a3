//===- tasks/ThreadBase.h - A worker thread with a stop event ---*- C++ -*-===//
///
/// Base of the long-lived worker threads (the task manager and its
/// executors). The body polls or waits on StopEvent(); FinishedEvent() is
/// signalled when the body has returned, so a supervisor can wait for any of
/// several threads to end together with its own events (WaitAny).
///
///   (idle) --Start--> running --body returns--> finished --Start--> running
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/HResult.h"

namespace korvex {

/// Start() while the thread of an earlier start still runs (ERROR_BAD_COMMAND).
inline constexpr HRESULT HR_THREAD_STILL_RUNNING = HResultFromWin32(22);

class ThreadBase {
 public:
  explicit ThreadBase(std::string name = "KorvexWorker");
  /// Subclasses must stop and wait for their thread in their own destructor,
  /// before their part of the object is gone; this one only reaps it.
  virtual ~ThreadBase();
  ThreadBase(const ThreadBase&) = delete;
  ThreadBase& operator=(const ThreadBase&) = delete;

  /// Resets the stop event and runs Run() on a new thread. Refused with
  /// HR_THREAD_STILL_RUNNING while an earlier thread has not finished, and
  /// with the creation status when the worker's events could not be made
  /// (descriptor exhaustion).
  [[nodiscard]] HRESULT Start();

  /// Signals the stop event; with `wait`, waits up to `timeoutMs` (kInfinite:
  /// no limit) for the body to return. False when the body has not returned
  /// by then (at once without `wait`).
  /// True at once when the thread was never started. Must not be called from
  /// the thread itself with `wait` set.
  bool Stop(bool wait, std::int64_t timeoutMs = kInfinite);

  /// Only after a successful Start().
  [[nodiscard]] Event& StopEvent() noexcept { return *stop_; }
  /// Signalled from the moment the body has returned until the next Start().
  /// Only after a successful Start().
  [[nodiscard]] Event& FinishedEvent() noexcept { return *finished_; }
  [[nodiscard]] bool IsStopping() const noexcept { return stopping_.load(); }
  [[nodiscard]] const std::string& Name() const noexcept { return name_; }

 protected:
  /// The thread body.
  virtual void Run() = 0;

  /// For subclasses that make events of their own: a failure here makes
  /// Start() refuse with `hr`.
  void NoteCreationStatus(HRESULT hr) noexcept {
    if (Succeeded(initStatus_)) initStatus_ = hr;
  }

 private:
  /// Joins a finished thread; the caller holds threadMutex_.
  void ReapLocked();

  std::string name_;
  std::unique_ptr<Event> stop_;
  std::unique_ptr<Event> finished_;
  HRESULT initStatus_ = S_OK;
  std::atomic<bool> stopping_{false};
  std::mutex threadMutex_;  // guards thread_ (start, join)
  std::thread thread_;
};

}  // namespace korvex
