//===- tests/store/AsyncResult_test.cpp - Results across threads ----------===//

#include "store/AsyncResult.h"

#include "store/IDataStoreRemote.h"
#include "store/WaitPump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace korvex {
namespace {

/// Counts its destructions, to prove the last Release() deletes exactly once.
class CountedResult : public AsyncResult {
 public:
  CountedResult(std::unique_ptr<Event> event, std::atomic<int>* deletions)
      : AsyncResult(std::move(event), kAsyncPending), deletions_(deletions) {}

 protected:
  ~CountedResult() override { ++*deletions_; }

 private:
  std::atomic<int>* deletions_;
};

AsyncResult* NewResult(AsyncState initial = kAsyncPending) {
  AsyncResult* result = nullptr;
  if (Failed(AsyncResult::Create(initial, &result))) throw std::runtime_error("no result");
  return result;
}

/// Releases on scope exit, so a failed assertion does not leak the result.
struct ResultRef {
  explicit ResultRef(AsyncResult* r) : result(r) {}
  ~ResultRef() { result->Release(); }
  AsyncResult* operator->() const { return result; }
  AsyncResult* result;
};

TEST(AsyncResult, InitialStateDecidesTheEvent) {
  ResultRef pending(NewResult());
  EXPECT_EQ(pending->State(), kAsyncPending);
  EXPECT_FALSE(pending->GetEvent().Wait(0));
  EXPECT_EQ(ReadOutcome(*pending.result), E_FAIL);
  EXPECT_EQ(ReadCallStatus(*pending.result), E_FAIL);
  ResultRef done(NewResult(kAsyncSucceeded));
  EXPECT_TRUE(done->GetEvent().Wait(0));
  EXPECT_EQ(ReadOutcome(*done.result), S_OK);
}

TEST(AsyncResult, CompletionAndCancellationRules) {
  struct Case {
    const char* name;
    bool cancelFirst;
    HRESULT first;
    HRESULT second;
    AsyncState state;
    HRESULT error;
    HRESULT outcome;      // ReadOutcome
    HRESULT callStatus;   // ReadCallStatus
  };
  const Case cases[] = {
      {"success", false, S_OK, E_FAIL, kAsyncSucceeded, S_OK, S_OK, S_OK},
      {"S_FALSE is a success", false, S_FALSE, E_FAIL, kAsyncSucceeded, S_FALSE, S_FALSE, S_OK},
      {"failure", false, E_INVALIDARG, S_OK, kAsyncFailed, E_INVALIDARG, E_INVALIDARG,
       E_INVALIDARG},
      {"cancel wins over later completion", true, S_OK, E_FAIL, kAsyncCancelled, E_ABORT, E_FAIL,
       E_ABORT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultRef result(NewResult());
    if (c.cancelFirst) {
      EXPECT_TRUE(result->CancelCall());
      EXPECT_FALSE(result->Complete(c.first));
    } else {
      EXPECT_TRUE(result->Complete(c.first));
    }
    EXPECT_FALSE(result->Complete(c.second));
    EXPECT_FALSE(result->CancelCall());
    EXPECT_EQ(result->State(), c.state);
    EXPECT_EQ(result->Error(), c.error);
    EXPECT_EQ(ReadOutcome(*result.result), c.outcome);
    EXPECT_EQ(ReadCallStatus(*result.result), c.callStatus);
    EXPECT_TRUE(result->GetEvent().Wait(0));
  }
}

TEST(AsyncResult, OutcomeOfASuccessIsThePayloadsFirstElement) {
  ResultRef result(NewResult());
  result->SetPayload(boost::make_tuple(S_FALSE, std::string("md5")));
  result->SetMessage("kept");
  ASSERT_TRUE(result->Complete(S_OK));
  EXPECT_EQ(ReadOutcome(*result.result), S_FALSE);
  EXPECT_EQ(ReadCallStatus(*result.result), S_OK);
  const auto* payload = result->PayloadAs<ItemMd5Payload>();
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(boost::get<1>(*payload), "md5");
  EXPECT_EQ(result->PayloadAs<StatusPayload>(), nullptr);
  EXPECT_EQ(result->Message(), "kept");

  // A failure reads its stored error whatever the payload says.
  ResultRef failed(NewResult());
  failed->SetPayload(StatusPayload(S_OK));
  ASSERT_TRUE(failed->Complete(HR_FILE_NOT_FOUND));
  EXPECT_EQ(ReadOutcome(*failed.result), HR_FILE_NOT_FOUND);
}

TEST(AsyncResult, FirstOfRacingCompletionsWins) {
  constexpr int kRounds = 200;
  constexpr int kCompleters = 4;
  for (int round = 0; round < kRounds; ++round) {
    ResultRef result(NewResult());
    std::atomic<int> winners{0};
    std::atomic<int> winner{-1};
    std::vector<std::thread> threads;
    for (int t = 0; t < kCompleters; ++t) {
      threads.emplace_back([&, t] {
        // Completer t completes with t, or the last one cancels.
        const bool won = t == kCompleters - 1 ? result->CancelCall() : result->Complete(t);
        if (won) {
          ++winners;
          winner = t;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(winners.load(), 1) << "round " << round;
    if (winner == kCompleters - 1) {
      EXPECT_EQ(result->State(), kAsyncCancelled);
      EXPECT_EQ(result->Error(), E_ABORT);
    } else {
      EXPECT_EQ(result->State(), kAsyncSucceeded);
      EXPECT_EQ(result->Error(), winner.load());
    }
  }
}

TEST(AsyncResult, CancelWakesEveryWaiterAndReferencesDropOnce) {
  constexpr int kWaiters = 6;
  std::atomic<int> deletions{0};
  std::unique_ptr<Event> event;
  ASSERT_EQ(Event::Create(true, false, event), S_OK);
  AsyncResult* result = new CountedResult(std::move(event), &deletions);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    result->AddRef();  // one per waiter, given back by the waiter
    waiters.emplace_back([&, i] {
      // Half of them use the pumping form, which is a plain wait here.
      const bool done = i % 2 == 0 ? (result->Wait(), true) : result->WaitPumping(60000);
      if (done && result->State() == kAsyncCancelled) ++woken;
      result->Release();
    });
  }
  EXPECT_TRUE(result->CancelCall());
  // The work finishing after the cancellation changes nothing.
  result->AddRef();
  std::thread worker([result] {
    EXPECT_FALSE(result->Complete(S_OK));
    result->Release();
  });
  for (std::thread& waiter : waiters) waiter.join();
  worker.join();
  EXPECT_EQ(woken.load(), kWaiters);
  EXPECT_EQ(result->State(), kAsyncCancelled);
  EXPECT_EQ(result->Error(), E_ABORT);
  EXPECT_EQ(deletions.load(), 0);
  EXPECT_EQ(result->Release(), 0);
  EXPECT_EQ(deletions.load(), 1);
}

TEST(AsyncResult, PayloadWrittenBeforeCompleteIsSeenByTheWaiter) {
  constexpr int kRounds = 50;
  for (int round = 0; round < kRounds; ++round) {
    ResultRef result(NewResult());
    result->AddRef();
    std::thread completer([r = result.result, round] {
      auto* names = new std::vector<Item*>;
      for (int i = 0; i <= round; ++i) {
        names->push_back(new Item);
        names->back()->info.name = "f" + std::to_string(i);
      }
      r->SetPayload(boost::make_tuple(S_OK, names));
      (void)r->Complete(S_OK);
      r->Release();
    });
    result->Wait();
    ASSERT_EQ(ReadOutcome(*result.result), S_OK);
    const auto* payload = result->PayloadAs<ListSubItemsPayload>();
    ASSERT_NE(payload, nullptr);
    ASSERT_EQ(boost::get<1>(*payload)->size(), static_cast<std::size_t>(round + 1));
    EXPECT_EQ(boost::get<1>(*payload)->back()->info.name, "f" + std::to_string(round));
    completer.join();
    DeletePayloadObjects(*result.result);
    EXPECT_TRUE(result->Payload().empty());
  }
}

TEST(AsyncResult, PayloadObjectsAreFreedOnceWhenCompleterAndReceiverAbandonTogether) {
  // A failed local call frees its payload while the woken receiver gives the
  // result up too; each round races the two (AddressSanitizer reports a
  // second free).
  for (int round = 0; round < 50; ++round) {
    ResultRef result(NewResult());
    // Enough objects that freeing them takes longer than starting a thread.
    auto* items = new std::vector<Item*>;
    for (int i = 0; i < 1000; ++i) items->push_back(new Item);
    result->SetPayload(ListSubItemsPayload(E_FAIL, items));
    std::latch start(2);
    auto abandon = [&] {
      start.arrive_and_wait();
      DeletePayloadObjects(*result.result);
    };
    std::thread completer(abandon);
    std::thread receiver(abandon);
    completer.join();
    receiver.join();
    ASSERT_TRUE(result->Payload().empty());
  }
}

TEST(AsyncResultWaitPumping, PumpsOnlyOnItsOwnThreadAndOnlyUntilTheLimit) {
  std::atomic<int> pumped{0};
  SetWaitPumpHook([&pumped] { ++pumped; });
  ResultRef result(NewResult());
  EXPECT_FALSE(result->WaitPumping(0));
  EXPECT_FALSE(result->WaitPumping(100));
  EXPECT_GT(pumped.load(), 0);

  pumped = 0;
  bool returned = true;
  std::thread other([&] {
    EXPECT_FALSE(HasWaitPumpHook());
    returned = result->WaitPumping(50);
  });
  other.join();
  EXPECT_FALSE(returned);
  EXPECT_EQ(pumped.load(), 0);

  ASSERT_TRUE(result->Complete(S_OK));
  EXPECT_TRUE(result->WaitPumping(0)) << "a complete result needs no time";
  SetWaitPumpHook(nullptr);
  EXPECT_FALSE(HasWaitPumpHook());
}

TEST(AsyncResultWaitPumping, ReturnsOnceThePumpedWorkCompletesTheResult) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "throwing pump" : "plain pump");
    ResultRef result(NewResult());
    int pumped = 0;
    // As in the GUI: the completion arrives through the event pump itself.
    SetWaitPumpHook([&] {
      if (++pumped == 3) (void)result->Complete(S_OK);
      if (throws) throw std::runtime_error("pump failed");
    });
    EXPECT_TRUE(result->WaitPumping(kWaitNoLimit));
    EXPECT_EQ(pumped, 3);
    SetWaitPumpHook(nullptr);
  }
}

TEST(AsyncResultWaitPumping, ThePumpSeesNestedWaitsAndCanGiveThemAllUp) {
  ResultRef outer(NewResult());
  ResultRef inner(NewResult());
  int deepest = 0;
  bool nested = false;
  SetWaitPumpHook([&] {
    deepest = std::max(deepest, PumpingWaitDepth());
    EXPECT_TRUE(PumpingWaitAge().has_value());
    if (!nested) {
      nested = true;
      // A second call started from inside the first wait, then given up.
      EXPECT_TRUE(inner->WaitPumping(kWaitNoLimit));
      return;
    }
    EXPECT_TRUE(CancelPumpingWaits());
  });
  EXPECT_TRUE(outer->WaitPumping(kWaitNoLimit));
  SetWaitPumpHook(nullptr);
  EXPECT_EQ(deepest, 2);
  for (AsyncResult* result : {outer.result, inner.result}) {
    EXPECT_EQ(result->State(), kAsyncCancelled);
    EXPECT_EQ(result->Error(), E_ABORT);
  }
  EXPECT_EQ(PumpingWaitDepth(), 0);
  EXPECT_FALSE(PumpingWaitAge().has_value());
  EXPECT_FALSE(CancelPumpingWaits()) << "nothing left to give up";
}

}  // namespace
}  // namespace korvex
