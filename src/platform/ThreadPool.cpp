//===- platform/ThreadPool.cpp - Work queue on boost::asio::thread_pool ---===//

#include "platform/ThreadPool.h"

#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include <thread>

namespace korvex {

ThreadPool::ThreadPool(std::size_t threads) {
  if (threads == 0) threads = std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  pool_ = std::make_unique<boost::asio::thread_pool>(threads);
}

ThreadPool::~ThreadPool() { Join(); }

bool ThreadPool::Submit(std::function<void()> work) {
  if (!work) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (joined_) return false;
  boost::asio::post(*pool_, [this, work = std::move(work)]() {
    try {
      work();
    } catch (...) {
      failed_.fetch_add(1);
    }
  });
  return true;
}

void ThreadPool::Join() {
  // Held across the drain so that a second caller also returns only once
  // the work has run.
  std::lock_guard<std::mutex> joinLock(joinMutex_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    joined_ = true;
  }
  // asio's join() returns once the queue has drained and the threads ended;
  // joining again is harmless.
  pool_->join();
}

ThreadPool& ThreadPool::Default() {
  static ThreadPool pool;
  return pool;
}

}  // namespace korvex
