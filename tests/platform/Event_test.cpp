#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace korvex {
namespace {

using namespace std::chrono_literals;

TEST(Event, WaitTimesOutWhenNotSignalled) {
  Event e(/*manualReset=*/true);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.Wait(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
}

TEST(Event, InitiallySetEventIsSignalled) {
  Event manual(true, true);
  Event automatic(false, true);
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(automatic.Wait(0));
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Event e(true);
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.Wait(0));
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, AutoResetIsConsumedByOneWait) {
  Event e(false);
  e.Set();
  e.Set();  // two sets collapse into one signal
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, AutoResetReleasesExactlyOneOfSeveralWaiters) {
  Event e(false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (e.Wait(300)) released.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(50ms);
  e.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 1);
}

TEST(Event, ManualResetWakesAllWaiters) {
  Event e(true);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (e.Wait(5000)) released.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(20ms);
  e.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
}

TEST(Event, ResetOfUnsignalledEventIsHarmless) {
  Event e(false);
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
}

TEST(WaitAny, ReturnsTimeoutWhenNothingIsSignalled) {
  Event a(true), b(false);
  Event* events[] = {&a, &b};
  EXPECT_EQ(WaitAny(events, 20), kWaitTimeout);
}

TEST(WaitAny, ReturnsIndexOfTheSignalledEvent) {
  Event a(false), b(false), c(true);
  Event* events[] = {&a, &b, &c};
  b.Set();
  EXPECT_EQ(WaitAny(events, 0), 1);
  EXPECT_EQ(WaitAny(events, 0), kWaitTimeout) << "auto-reset event must be consumed";
  c.Set();
  EXPECT_EQ(WaitAny(events, 0), 2);
  EXPECT_EQ(WaitAny(events, 0), 2) << "manual-reset event must stay set";
}

TEST(WaitAny, PrefersLowestIndexAndConsumesOnlyThatOne) {
  Event a(false), b(false);
  Event* events[] = {&a, &b};
  a.Set();
  b.Set();
  EXPECT_EQ(WaitAny(events, 0), 0);
  EXPECT_EQ(WaitAny(events, 0), 1) << "the unreturned event keeps its signal";
  EXPECT_EQ(WaitAny(events, 0), kWaitTimeout);
}

TEST(WaitAny, WakesWhenAnotherThreadSets) {
  Event a(false), b(false);
  Event* events[] = {&a, &b};
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    b.Set();
  });
  EXPECT_EQ(WaitAny(events, 5000), 1);
  setter.join();
}

TEST(WaitAny, EmptySetNeverHangs) {
  EXPECT_EQ(WaitAny({}, kInfinite), kWaitTimeout);
  EXPECT_EQ(WaitAny({}, 5), kWaitTimeout);
}

TEST(WaitAny, EventFdIsPollableWhileSignalled) {
  Event e(true);
  EXPECT_GE(e.Fd(), 0);
  Event* events[] = {&e};
  e.Set();
  EXPECT_EQ(WaitAny(events, kInfinite), 0);
}

}  // namespace
}  // namespace korvex
