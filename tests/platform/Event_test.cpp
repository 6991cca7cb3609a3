#include "platform/Event.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korvex {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<Event> NewEvent(bool manualReset, bool initiallySet = false) {
  std::unique_ptr<Event> event;
  if (Failed(Event::Create(manualReset, initiallySet, event))) throw std::runtime_error("no event");
  return event;
}

TEST(Event, ManualAndAutoResetSemantics) {
  EXPECT_FALSE(NewEvent(true)->Wait(30)) << "an unsignalled event times out";
  EXPECT_TRUE(NewEvent(false, true)->Wait(0)) << "created signalled";

  auto manual = NewEvent(true);
  manual->Set();
  EXPECT_TRUE(manual->Wait(0));
  EXPECT_TRUE(manual->Wait(0)) << "a manual-reset event stays signalled";
  manual->Reset();
  EXPECT_FALSE(manual->Wait(0));

  auto automatic = NewEvent(false);
  automatic->Reset();  // harmless when unsignalled
  automatic->Set();
  automatic->Set();  // two sets collapse into one signal
  EXPECT_TRUE(automatic->Wait(0));
  EXPECT_FALSE(automatic->Wait(0)) << "the wait consumed the signal";
}

TEST(Event, SetReleasesOneWaiterOrAllOfThem) {
  for (bool manualReset : {false, true}) {
    SCOPED_TRACE(manualReset ? "manual" : "auto");
    auto e = NewEvent(manualReset);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
      waiters.emplace_back([&] {
        if (e->Wait(manualReset ? 5000 : 300)) released.fetch_add(1);
      });
    }
    std::this_thread::sleep_for(50ms);
    e->Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), manualReset ? 4 : 1);
  }
}

TEST(WaitAny, ReturnsTheLowestSignalledIndexAndConsumesOnlyThatOne) {
  auto a = NewEvent(false), b = NewEvent(false), c = NewEvent(true);
  Event* events[] = {a.get(), b.get(), c.get()};
  EXPECT_EQ(WaitAny(events, 20), kWaitTimeout);
  a->Set();
  b->Set();
  EXPECT_EQ(WaitAny(events, 0), 0);
  EXPECT_EQ(WaitAny(events, 0), 1) << "the unreturned event keeps its signal";
  EXPECT_EQ(WaitAny(events, 0), kWaitTimeout) << "auto-reset events are consumed";
  c->Set();
  EXPECT_EQ(WaitAny(events, kInfinite), 2);
  EXPECT_EQ(WaitAny(events, 0), 2) << "a manual-reset event stays set";
}

TEST(WaitAny, WakesWhenAnotherThreadSets) {
  auto a = NewEvent(false), b = NewEvent(false);
  Event* events[] = {a.get(), b.get()};
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    b->Set();
  });
  EXPECT_EQ(WaitAny(events, 5000), 1);
  setter.join();
}

TEST(WaitAny, EmptySetNeverHangs) {
  EXPECT_EQ(WaitAny({}, kInfinite), kWaitTimeout);
  EXPECT_EQ(WaitAny({}, 5), kWaitTimeout);
}

TEST(Event, CreationFailsWithTheSystemErrorWhenDescriptorsRunOut) {
  rlimit saved{}, lowered{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  lowered = {std::min<rlim_t>(saved.rlim_cur, 256), saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  std::vector<int> taken;  // every descriptor left under the limit
  for (int fd; taken.size() < lowered.rlim_cur && (fd = ::open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
  std::unique_ptr<Event> event;
  const HRESULT exhausted = Event::Create(true, false, event);
  for (int fd : taken) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(exhausted, MakeHResult(0x80070004u)) << "too many open files, and the process lives on";
  EXPECT_EQ(Event::Create(true, false, event), S_OK) << "works again once descriptors are free";
}

}  // namespace
}  // namespace korvex
