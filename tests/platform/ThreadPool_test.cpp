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

TEST(ThreadPool, RunsEverySubmittedItemOnItsThreadsBeforeJoinReturns) {
  ThreadPool pool(2);
  std::mutex m;
  std::set<std::thread::id> ids;
  int done = 0;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(pool.Submit([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      std::lock_guard<std::mutex> lock(m);
      ids.insert(std::this_thread::get_id());
      ++done;
    }));
  }
  pool.Join();
  EXPECT_EQ(done, 100);
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
}

TEST(ThreadPool, SurvivesThrowingWorkAndRefusesEmptyOrLateWork) {
  ThreadPool pool(1);
  std::atomic<int> done{0};
  EXPECT_FALSE(pool.Submit(nullptr));
  ASSERT_TRUE(pool.Submit([] { throw std::runtime_error("boom"); }));
  ASSERT_TRUE(pool.Submit([&] { done.fetch_add(1); }));
  pool.Join();
  EXPECT_EQ(done.load(), 1);
  EXPECT_EQ(pool.FailedItems(), 1u);
  EXPECT_FALSE(pool.Submit([&] { done.fetch_add(1); }));
  pool.Join();  // a second join is harmless
  EXPECT_EQ(done.load(), 1);
}

}  // namespace
}  // namespace korvex
