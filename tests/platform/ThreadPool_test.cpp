#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace korvex {
namespace {

TEST(ThreadPool, RunsEverySubmittedItemBeforeJoinReturns) {
  ThreadPool pool(3);
  std::atomic<int> done{0};
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(pool.Submit([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      done.fetch_add(1);
    }));
  }
  pool.Join();
  EXPECT_EQ(done.load(), 200);
}

TEST(ThreadPool, UsesSeveralThreads) {
  ThreadPool pool(2);
  std::mutex m;
  std::set<std::thread::id> ids;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(pool.Submit([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      std::lock_guard<std::mutex> lock(m);
      ids.insert(std::this_thread::get_id());
    }));
  }
  pool.Join();
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
}

TEST(ThreadPool, RefusesWorkAfterJoinAndEmptyWork) {
  ThreadPool pool(1);
  EXPECT_FALSE(pool.Submit(nullptr));
  pool.Join();
  bool ran = false;
  EXPECT_FALSE(pool.Submit([&] { ran = true; }));
  pool.Join();  // a second join is harmless
  EXPECT_FALSE(ran);
}

TEST(ThreadPool, ThrowingWorkDoesNotStopThePool) {
  ThreadPool pool(1);
  std::atomic<int> done{0};
  ASSERT_TRUE(pool.Submit([] { throw std::runtime_error("boom"); }));
  ASSERT_TRUE(pool.Submit([&] { done.fetch_add(1); }));
  pool.Join();
  EXPECT_EQ(done.load(), 1);
  EXPECT_EQ(pool.FailedItems(), 1u);
}

TEST(ThreadPool, DefaultPoolRunsWork) {
  std::atomic<bool> ran{false};
  ASSERT_TRUE(ThreadPool::Default().Submit([&] { ran = true; }));
  for (int i = 0; i < 500 && !ran; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ran.load());
}

}  // namespace
}  // namespace korvex
