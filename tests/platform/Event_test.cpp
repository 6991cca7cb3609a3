#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace korvex {
namespace {

using namespace std::chrono_literals;

TEST(Event, ManualAndAutoResetSemantics) {
  EXPECT_FALSE(Event(true).Wait(30)) << "an unsignalled event times out";
  EXPECT_TRUE(Event(false, true).Wait(0)) << "created signalled";

  Event manual(true);
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0)) << "a manual-reset event stays signalled";
  manual.Reset();
  EXPECT_FALSE(manual.Wait(0));

  Event automatic(false);
  automatic.Reset();  // harmless when unsignalled
  automatic.Set();
  automatic.Set();  // two sets collapse into one signal
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0)) << "the wait consumed the signal";
}

TEST(Event, SetReleasesOneWaiterOrAllOfThem) {
  for (bool manualReset : {false, true}) {
    SCOPED_TRACE(manualReset ? "manual" : "auto");
    Event e(manualReset);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
      waiters.emplace_back([&] {
        if (e.Wait(manualReset ? 5000 : 300)) released.fetch_add(1);
      });
    }
    std::this_thread::sleep_for(50ms);
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), manualReset ? 4 : 1);
  }
}

TEST(WaitAny, ReturnsTheLowestSignalledIndexAndConsumesOnlyThatOne) {
  Event a(false), b(false), c(true);
  Event* events[] = {&a, &b, &c};
  EXPECT_EQ(WaitAny(events, 20), kWaitTimeout);
  a.Set();
  b.Set();
  EXPECT_EQ(WaitAny(events, 0), 0);
  EXPECT_EQ(WaitAny(events, 0), 1) << "the unreturned event keeps its signal";
  EXPECT_EQ(WaitAny(events, 0), kWaitTimeout) << "auto-reset events are consumed";
  c.Set();
  EXPECT_EQ(WaitAny(events, kInfinite), 2);
  EXPECT_EQ(WaitAny(events, 0), 2) << "a manual-reset event stays set";
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

}  // namespace
}  // namespace korvex
