// Many requests at once, from many threads and from inside completions, and
// what happens to requests still under way when their requestor goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>

#include "NetTestSupport.h"
#include "net/HttpRequestor.h"
#include "platform/Event.h"

namespace korvex {
namespace {

using testing::Completed;
using testing::LoopbackServer;
using testing::Recorder;
using namespace std::chrono_literals;

constexpr int kParallel = 32;

/// One slot per request, so that "exactly once" is checked per request.
struct CallSlot {
  std::atomic<int> calls{0};
  std::atomic<HRESULT> status{S_OK};
  std::atomic<bool> onCallerThread{false};
  std::thread::id caller;
  HttpRequestor* resendOn = nullptr;  // when set, the first call sends once more
  std::atomic<HRESULT> resend{S_OK};
};

void CountCall(HRESULT status, const std::string&, const std::deque<std::string>&,
               const HttpHeaderMap&, void* user) {
  auto* slot = static_cast<CallSlot*>(user);
  // Everything the slot holds is read before the count publishes the call:
  // once counted, the test may reuse the slot's memory.
  HttpRequestor* const resendOn = slot->resendOn;
  slot->status = status;
  if (std::this_thread::get_id() == slot->caller) slot->onCallerThread = true;
  if (slot->calls.fetch_add(1) == 0 && resendOn != nullptr) {
    slot->resend = resendOn->SendRequest("/quick", "GET", "", nullptr, 0, &CountCall, slot, 0);
  }
}

template <std::size_t N>
bool WaitAllCalled(const std::array<CallSlot, N>& slots, std::chrono::milliseconds timeout = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int done = 0;
    for (const auto& slot : slots) done += slot.calls.load() > 0 ? 1 : 0;
    if (done == static_cast<int>(N)) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

class HttpRequestorConcurrencyTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ASSERT_EQ(Event::Create(/*manualReset=*/true, false, release_), S_OK);
    auto& routes = server_.Routes();
    // Answers only once `kParallel` requests are inside at the same time (or
    // after a bounded wait), which proves that many were in flight together.
    routes.Get("/together", [this](const httplib::Request& request, httplib::Response& response) {
      std::unique_lock lock(mutex_);
      ports_.insert(request.remote_port);
      ++inside_;
      peak_ = std::max(peak_, inside_);
      allInside_.notify_all();
      allInside_.wait_for(lock, 10s, [this] { return peak_ >= kParallel; });
      --inside_;
      response.set_content("ok", "text/plain");
    });
    // Lingers a little, so that requests sent together would overlap here.
    routes.Get("/lane", [this](const httplib::Request& request, httplib::Response& response) {
      {
        std::lock_guard lock(mutex_);
        lanePorts_.insert(request.remote_port);
        lanePeak_ = std::max(lanePeak_, ++laneInside_);
      }
      std::this_thread::sleep_for(5ms);
      {
        std::lock_guard lock(mutex_);
        --laneInside_;
      }
      response.set_content("0123456789", "application/octet-stream");
    });
    routes.Get("/quick", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("quick", "text/plain");
    });
    routes.Get("/blocked", [this](const httplib::Request&, httplib::Response& response) {
      {
        std::lock_guard lock(mutex_);
        ++blocked_;
        allInside_.notify_all();
      }
      (void)release_->Wait(10'000);
      response.set_content("released", "text/plain");
    });
    server_.Start();
  }

  void TearDown() override {
    if (release_) release_->Set();
    server_.Stop();
    NetTest::TearDown();
  }

  bool WaitBlocked(int count) {
    std::unique_lock lock(mutex_);
    return allInside_.wait_for(lock, 10s, [&] { return blocked_ >= count; });
  }

  std::mutex mutex_;
  std::condition_variable allInside_;
  int inside_ = 0;
  int peak_ = 0;
  int blocked_ = 0;
  std::set<int> ports_;
  int laneInside_ = 0;
  int lanePeak_ = 0;
  std::set<int> lanePorts_;
  std::unique_ptr<Event> release_;
  LoopbackServer server_;  // last: stopped before the state its handlers use
};

TEST_F(HttpRequestorConcurrencyTest, ManyRequestsRunTogetherAndReuseTheirConnections) {
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    {
      std::lock_guard lock(mutex_);
      peak_ = 0;
    }
    std::array<CallSlot, kParallel> slots;
    for (auto& slot : slots) {
      ASSERT_EQ(requestor.SendRequest("/together", "GET", "", nullptr, 0, &CountCall, &slot, 0),
                S_OK);
    }
    ASSERT_TRUE(WaitAllCalled(slots));
    for (const auto& slot : slots) {
      EXPECT_EQ(slot.calls.load(), 1);
      EXPECT_EQ(slot.status.load(), S_OK);
    }
    std::lock_guard lock(mutex_);
    EXPECT_GE(peak_, kParallel);
  }
  // The second burst found the first burst's connections idle and used them.
  std::lock_guard lock(mutex_);
  EXPECT_EQ(ports_.size(), static_cast<std::size_t>(kParallel));
}

struct LaneSlot {
  std::atomic<int> calls{0};
  std::atomic<HRESULT> status{E_FAIL};
  std::atomic<std::size_t> bodySize{0};
};

void CountLaneCall(HRESULT status, const std::string& body, const std::deque<std::string>&, const HttpHeaderMap&,
                   void* user) {
  auto* slot = static_cast<LaneSlot*>(user);
  slot->status = status;
  slot->bodySize = body.size();
  slot->calls.fetch_add(1);
}

TEST_F(HttpRequestorConcurrencyTest, ALaneKeepsItsBoundKeepsReadsOfTheLimitConnectedAndDropsWhatWaits) {
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
  constexpr int kRequests = 12;
  std::array<LaneSlot, kRequests> slots;
  // Handed over all at once; the body is exactly the size limit.
  for (auto& slot : slots) {
    ASSERT_EQ(requestor.SendRequest("/lane", "GET", "", nullptr, 0, &CountLaneCall, &slot, 10, {"stream-1", 2}),
              S_OK);
  }
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  auto called = [&] {
    return std::all_of(slots.begin(), slots.end(), [](const LaneSlot& slot) { return slot.calls.load() > 0; });
  };
  while (!called() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(called());
  for (const auto& slot : slots) {
    EXPECT_EQ(slot.calls.load(), 1);
    EXPECT_EQ(slot.status.load(), S_OK);
    EXPECT_EQ(slot.bodySize.load(), 10u);
  }
  {
    std::lock_guard lock(mutex_);
    EXPECT_LE(lanePeak_, 2) << "the lane let more requests onto the wire than its limit";
    EXPECT_LE(lanePorts_.size(), 2u) << "a read that reached its size limit dropped its connection";
  }

  // A dropped lane's waiting requests complete as cancelled, unsent; the
  // two on the wire run to their end.
  std::array<LaneSlot, 6> dropped;
  for (auto& slot : dropped)
    ASSERT_EQ(requestor.SendRequest("/blocked", "GET", "", nullptr, 0, &CountLaneCall, &slot, 0, {"stream-2", 2}),
              S_OK);
  ASSERT_TRUE(WaitBlocked(2));
  requestor.DropLane("stream-2");
  for (std::size_t i = 2; i < dropped.size(); ++i) {
    for (int wait = 0; wait < 2000 && dropped[i].calls.load() == 0; ++wait) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(dropped[i].status.load(), HResultFromHttp(kHttpErrorCancelled)) << "request " << i;
  }
  release_->Set();
  for (std::size_t i = 0; i < 2; ++i) {
    for (int wait = 0; wait < 2000 && dropped[i].calls.load() == 0; ++wait) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(dropped[i].status.load(), S_OK) << "request " << i;
  }
  std::lock_guard lock(mutex_);
  EXPECT_EQ(blocked_, 2) << "a dropped request went out";
}

TEST_F(HttpRequestorConcurrencyTest, CancelRequestsGivesUpOnlyThePickedRequestsOnTheWireOrWaiting) {
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
  // Two of the lane on the wire and one waiting behind them, one more on
  // its own connection; all four block in the server.
  std::array<LaneSlot, 4> slots;
  for (std::size_t i = 0; i < 3; ++i)
    ASSERT_EQ(requestor.SendRequest("/blocked", "GET", "", nullptr, 0, &CountLaneCall, &slots[i], 0, {"lane", 2}),
              S_OK);
  ASSERT_EQ(requestor.SendRequest("/blocked", "GET", "", nullptr, 0, &CountLaneCall, &slots[3], 0), S_OK);
  ASSERT_TRUE(WaitBlocked(3));

  // The first (on the wire) and the third (waiting) are given up.
  requestor.CancelRequests([&](void* user) { return user == &slots[0] || user == &slots[2]; });
  for (const std::size_t i : {0u, 2u}) {
    for (int wait = 0; wait < 2000 && slots[i].calls.load() == 0; ++wait) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(slots[i].calls.load(), 1) << "request " << i;
    EXPECT_EQ(slots[i].status.load(), HResultFromHttp(kHttpErrorCancelled)) << "request " << i;
  }
  // Ended while the server still holds the first: the client let go by itself.
  EXPECT_EQ(slots[1].calls.load(), 0);
  EXPECT_EQ(slots[3].calls.load(), 0);

  release_->Set();
  for (const std::size_t i : {1u, 3u}) {
    for (int wait = 0; wait < 2000 && slots[i].calls.load() == 0; ++wait) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(slots[i].status.load(), S_OK) << "request " << i;
  }
  {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(blocked_, 3) << "the cancelled waiting request went out";
  }
  // The lane and the requestor go on as before; each request completed once.
  LaneSlot after;
  ASSERT_EQ(requestor.SendRequest("/lane", "GET", "", nullptr, 0, &CountLaneCall, &after, 0, {"lane", 2}), S_OK);
  for (int wait = 0; wait < 2000 && after.calls.load() == 0; ++wait) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(after.status.load(), S_OK);
  for (const auto& slot : slots) EXPECT_EQ(slot.calls.load(), 1);
}

TEST_F(HttpRequestorConcurrencyTest, SendRequestIsSafeFromManyThreads) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 25;
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
  std::array<CallSlot, kThreads * kPerThread> slots;
  std::vector<std::thread> senders;
  std::atomic<int> refused{0};
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        auto& slot = slots[t * kPerThread + i];
        slot.caller = std::this_thread::get_id();
        if (i % 5 == 0) requestor.SetAuthPro("token-" + std::to_string(i));
        if (Failed(requestor.SendRequest("/quick", "GET", "", nullptr, 0, &CountCall, &slot, 0))) {
          refused.fetch_add(1);
        }
      }
    });
  }
  for (auto& sender : senders) sender.join();
  EXPECT_EQ(refused.load(), 0);
  ASSERT_TRUE(WaitAllCalled(slots));
  for (const auto& slot : slots) {
    EXPECT_EQ(slot.calls.load(), 1);
    EXPECT_EQ(slot.status.load(), S_OK);
    EXPECT_FALSE(slot.onCallerThread.load()) << "completions run on the I/O thread";
  }
}

/// Each completion sends the next request of a chain from the I/O thread.
struct Chain {
  HttpRequestor* requestor = nullptr;
  int remaining = 0;
  std::vector<std::thread::id> threads;
  Recorder finished;
};

void ContinueChain(HRESULT status, const std::string& body, const std::deque<std::string>& cookies,
                   const HttpHeaderMap& headers, void* user) {
  auto* chain = static_cast<Chain*>(user);
  chain->threads.push_back(std::this_thread::get_id());
  if (Succeeded(status) && --chain->remaining > 0 &&
      Succeeded(chain->requestor->SendRequest("/quick", "GET", "", nullptr, 0, &ContinueChain,
                                              chain, 0))) {
    return;
  }
  Recorder::OnComplete(status, body, cookies, headers, &chain->finished);
}

TEST_F(HttpRequestorConcurrencyTest, CompletionsMaySendFurtherRequests) {
  for (const bool async : {true, false}) {
    SCOPED_TRACE(async ? "asynchronous" : "synchronous");
    HttpRequestor requestor;
    ASSERT_EQ(requestor.Init(server_.Url(), async), S_OK);
    Chain chain;
    chain.requestor = &requestor;
    chain.remaining = 5;
    ASSERT_EQ(requestor.SendRequest("/quick", "GET", "", nullptr, 0, &ContinueChain, &chain, 0),
              S_OK);
    const Completed last = chain.finished.Single();
    EXPECT_EQ(last.status, S_OK);
    EXPECT_EQ(chain.remaining, 0);
    ASSERT_EQ(chain.threads.size(), 5u);
    for (const auto& id : chain.threads) {
      EXPECT_EQ(id, chain.threads.front());
      EXPECT_NE(id, std::this_thread::get_id());
    }
  }
}

TEST_F(HttpRequestorConcurrencyTest, DestroyingCancelsRequestsUnderWayExactlyOnce) {
  constexpr int kBlocked = 6;
  std::array<CallSlot, kBlocked> slots;
  {
    auto requestor = std::make_unique<HttpRequestor>();
    ASSERT_EQ(requestor->Init(server_.Url()), S_OK);
    slots.back().resendOn = requestor.get();  // tries to send again while going away
    for (auto& slot : slots) {
      ASSERT_EQ(requestor->SendRequest("/blocked", "GET", "", nullptr, 0, &CountCall, &slot, 0),
                S_OK);
    }
    ASSERT_TRUE(WaitBlocked(kBlocked));
    requestor.reset();
    // Every completion has run by the time the destructor returned.
    for (const auto& slot : slots) {
      EXPECT_EQ(slot.calls.load(), 1);
      EXPECT_EQ(slot.status.load(), HResultFromHttp(kHttpErrorCancelled));
    }
    // A retry from a cancelled completion is refused, not lost in a dead loop.
    EXPECT_TRUE(Failed(slots.back().resend.load()));
  }
  release_->Set();
  std::this_thread::sleep_for(50ms);
  for (const auto& slot : slots) EXPECT_EQ(slot.calls.load(), 1);
}

/// Deletes the requestor from inside the completion of its first request.
struct SelfDestruct {
  HttpRequestor* requestor = nullptr;
  CallSlot* other = nullptr;
  int otherCallsAfterDelete = -1;
  Recorder done;
};

void DeleteRequestor(HRESULT status, const std::string& body,
                     const std::deque<std::string>& cookies, const HttpHeaderMap& headers,
                     void* user) {
  auto* self = static_cast<SelfDestruct*>(user);
  delete self->requestor;
  self->requestor = nullptr;
  self->otherCallsAfterDelete = self->other->calls.load();
  Recorder::OnComplete(status, body, cookies, headers, &self->done);
}

TEST_F(HttpRequestorConcurrencyTest, ARequestorMayBeDestroyedInsideItsOwnCompletion) {
  CallSlot other;
  SelfDestruct self;
  self.other = &other;
  self.requestor = new HttpRequestor;
  ASSERT_EQ(self.requestor->Init(server_.Url()), S_OK);
  ASSERT_EQ(self.requestor->SendRequest("/blocked", "GET", "", nullptr, 0, &CountCall, &other, 0),
            S_OK);
  ASSERT_TRUE(WaitBlocked(1));
  ASSERT_EQ(self.requestor->SendRequest("/quick", "GET", "", nullptr, 0, &DeleteRequestor, &self, 0),
            S_OK);
  const Completed done = self.done.Single();
  EXPECT_EQ(done.status, S_OK);
  EXPECT_EQ(self.requestor, nullptr);
  EXPECT_EQ(self.otherCallsAfterDelete, 1) << "the other request completed during the delete";
  EXPECT_EQ(other.status.load(), HResultFromHttp(kHttpErrorCancelled));
}

}  // namespace
}  // namespace korvex
