//===- platform/ThreadPool.h - Work queue on a fixed set of threads -*- C++ -*-===//
///
/// Stands in for the system thread pool: work items run on a fixed set of
/// threads in submission order per thread. Work must not throw; an escaping
/// exception is swallowed so that it cannot terminate the process from a
/// pool thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

namespace boost::asio {
class thread_pool;
}

namespace korvex {

class ThreadPool {
 public:
  /// `threads` == 0 picks the number of hardware threads (at least one).
  explicit ThreadPool(std::size_t threads = 0);
  /// Waits for all submitted work, like Join().
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  /// Queues `work`. False (and nothing queued) after Join() or for empty work.
  [[nodiscard]] bool Submit(std::function<void()> work);

  /// Waits until every submitted item has run, then stops the threads.
  /// Later submissions are refused. Safe to call more than once; must not
  /// be called from a work item.
  void Join();

  /// Number of work items that ended by throwing.
  [[nodiscard]] std::size_t FailedItems() const noexcept { return failed_.load(); }

  /// The process-wide pool (hardware threads), created on first use.
  static ThreadPool& Default();

 private:
  std::unique_ptr<boost::asio::thread_pool> pool_;
  std::mutex joinMutex_;  // taken before mutex_
  std::mutex mutex_;      // orders Submit against Join
  bool joined_ = false;
  std::atomic<std::size_t> failed_{0};
};

}  // namespace korvex
