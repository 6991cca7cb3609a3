//===- tests/store/DataStoreRemoteImplBase_test.cpp - Queued store calls --===//

#include "store/DataStoreRemoteImplBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"
#include "platform/Event.h"
#include "platform/ThreadPool.h"

namespace korvex {
namespace {

/// Keeps every admitted message as "level|category|message".
class CaptureLogger : public Logger {
 public:
  CaptureLogger() : Logger(kLogTrace) {}
  std::string_view FormatLine(std::int32_t level, const char* category,
                              const char* message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::to_string(level) + "|" + category + "|" + message);
    return Logger::FormatLine(level, category, message);
  }
  void WriteLine(std::string_view) override {}
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string Line(std::int32_t level, const char* text) {
  return std::to_string(level) + "|TestBackEnd|" + text;
}

std::string Text(std::uint64_t v) { return std::to_string(v); }

AsyncResult* NewResult(AsyncState initial = kAsyncPending) {
  AsyncResult* result = nullptr;
  if (Failed(AsyncResult::Create(initial, &result))) throw std::runtime_error("no result");
  return result;
}

std::unique_ptr<Event> NewEvent() {
  std::unique_ptr<Event> event;
  if (Failed(Event::Create(/*manualReset=*/true, false, event))) throw std::runtime_error("no event");
  return event;
}

/// Records every Do call with its arguments and the thread it ran on.
class RecordingBackEnd : public DataStoreRemoteImplBase {
 public:
  explicit RecordingBackEnd(ThreadPool* pool) : DataStoreRemoteImplBase("TestBackEnd", pool) {}
  ~RecordingBackEnd() override { DrainCalls(); }

  /// The last call's text and the thread it ran on.
  std::pair<std::string, std::thread::id> Last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {lastCall_, lastThread_};
  }

  std::atomic<HRESULT> status{S_OK};
  /// Runs inside every Do operation before it answers, when set.
  std::function<void(AsyncResult*)> during;

 protected:
  using C = const ContainerInfo&;
  using I = const ItemInfo&;
  using U = std::uint32_t;
  HRESULT DoListSubContainersAndItemCount(C c, AsyncResult* r) override {
    auto* listed = new std::vector<Container*>{new Container};
    listed->front()->info.uri = c.uri + "sub/";
    r->SetPayload(boost::make_tuple(S_OK, listed, std::int32_t{7}));
    return Record(r, "ListSubContainersAndItemCount " + c.uri);
  }
  HRESULT DoListSubItems(C c, U start, U count, std::int32_t sort, AsyncResult* r) override {
    return Record(r, "ListSubItems " + c.uri + " " + Text(start) + " " + Text(count) + " " + std::to_string(sort));
  }
  HRESULT DoCreateContainer(C p, C n, AsyncResult* r) override { return Record(r, "CreateContainer " + p.uri + " " + n.name); }
  HRESULT DoDeleteContainer(C c, AsyncResult* r) override { return Record(r, "DeleteContainer " + c.uri); }
  HRESULT DoRenameContainer(C c, const std::string& name, AsyncResult* r) override {
    return Record(r, "RenameContainer " + c.uri + " " + name);
  }
  HRESULT DoMoveContainer(C c, C s, C t, U flag, AsyncResult* r) override {
    return Record(r, "MoveContainer " + c.uri + " " + s.uri + " " + t.uri + " " + Text(flag));
  }
  HRESULT DoCreateItem(C p, I i, U flag, AsyncResult* r) override {
    auto* created = new Item;
    created->info = i;
    r->SetPayload(boost::make_tuple(S_OK, created));
    return Record(r, "CreateItem " + p.uri + " " + i.name + " " + Text(flag));
  }
  HRESULT DoOpenItem(I i, bool forWriting, AsyncResult* r) override { return Record(r, "OpenItem " + i.uri + " " + Text(forWriting)); }
  HRESULT DoDeleteItem(I i, AsyncResult* r) override { return Record(r, "DeleteItem " + i.uri); }
  HRESULT DoRenameItem(I i, const std::string& name, AsyncResult* r) override { return Record(r, "RenameItem " + i.uri + " " + name); }
  HRESULT DoMoveItem(I i, C s, C t, U flag, AsyncResult* r) override {
    return Record(r, "MoveItem " + i.uri + " " + s.uri + " " + t.uri + " " + Text(flag));
  }
  HRESULT DoCompleteItem(I i, U flag, AsyncResult* r) override { return Record(r, "CompleteItem " + i.uri + " " + Text(flag)); }
  HRESULT DoReadItem(I i, U low, U high, U length, AsyncResult* r) override {
    r->SetPayload(boost::make_tuple(S_OK, new std::uint8_t[length]));
    return Record(r, "ReadItem " + i.uri + " " + Text(low) + " " + Text(high) + " " + Text(length));
  }
  HRESULT DoWriteItem(I i, std::unique_ptr<std::uint8_t[]> data, U low, U high, U length, AsyncResult* r) override {
    std::string bytes(reinterpret_cast<const char*>(data.get()), length);
    return Record(r, "WriteItem " + i.uri + " " + bytes + " " + Text(low) + " " + Text(high));
  }

 private:
  HRESULT Record(AsyncResult* r, std::string call) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastCall_ = std::move(call);
      lastThread_ = std::this_thread::get_id();
    }
    if (during) during(r);
    return status.load();
  }

  std::mutex mutex_;
  std::string lastCall_;
  std::thread::id lastThread_;
};

ContainerInfo Folder(const std::string& uri) {
  ContainerInfo info;
  info.uri = uri;
  info.name = "new";
  return info;
}

ItemInfo File(const std::string& uri) {
  ItemInfo info;
  info.uri = uri;
  info.name = "f.txt";
  return info;
}

class DataStoreRemoteImplBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogMgr::Get().Reset();
    logger_ = new CaptureLogger;
    LogMgr::Get().AddLogger(logger_);
    LogMgr::Get().SetThreshold(kLogTrace);
  }
  void TearDown() override { LogMgr::Get().Reset(); }

  /// Waits for `result`, returns its outcome and releases it with its payload.
  static HRESULT Finish(AsyncResult* result) {
    EXPECT_TRUE(result->WaitPumping(60000));
    const HRESULT hr = ReadOutcome(*result);
    DeletePayloadObjects(*result);  // the receiver owns what the payload points to
    result->Release();
    return hr;
  }

  ThreadPool pool_{2};
  CaptureLogger* logger_ = nullptr;
};

TEST_F(DataStoreRemoteImplBaseTest, EveryCoreOperationReachesItsDoWithCopiedArguments) {
  RecordingBackEnd backEnd(&pool_);
  using StartFn = std::function<HRESULT(IDataStoreRemote&, AsyncResult**)>;
  struct Case {
    StartFn start;
    std::string expected;
  };
  // The records are temporaries: the calls must copy them before returning.
  const Case cases[] = {
      {[](auto& s, auto r) { return s.ListSubContainersAndItemCount(Folder("/a/"), r); },
       "ListSubContainersAndItemCount /a/"},
      {[](auto& s, auto r) { return s.ListSubItems(Folder("/a/"), 3, 31, 4, r); },
       "ListSubItems /a/ 3 31 4"},
      {[](auto& s, auto r) { return s.CreateContainer(Folder("/a/"), Folder("/a/new/"), r); },
       "CreateContainer /a/ new"},
      {[](auto& s, auto r) { return s.DeleteContainer(Folder("/a/"), r); }, "DeleteContainer /a/"},
      {[](auto& s, auto r) { return s.RenameContainer(Folder("/a/"), "b", r); },
       "RenameContainer /a/ b"},
      {[](auto& s, auto r) {
         return s.MoveContainer(Folder("/a/"), Folder("/"), Folder("/t/"), 1, r);
       },
       "MoveContainer /a/ / /t/ 1"},
      {[](auto& s, auto r) { return s.CreateItem(Folder("/a/"), File("/a/f.txt"), 2, r); },
       "CreateItem /a/ f.txt 2"},
      {[](auto& s, auto r) { return s.OpenItem(File("/a/f.txt"), true, r); },
       "OpenItem /a/f.txt 1"},
      {[](auto& s, auto r) { return s.DeleteItem(File("/a/f.txt"), r); }, "DeleteItem /a/f.txt"},
      {[](auto& s, auto r) { return s.RenameItem(File("/a/f.txt"), "g", r); },
       "RenameItem /a/f.txt g"},
      {[](auto& s, auto r) { return s.MoveItem(File("/a/f"), Folder("/a/"), Folder("/t/"), 1, r); },
       "MoveItem /a/f /a/ /t/ 1"},
      {[](auto& s, auto r) { return s.CompleteItem(File("/a/f"), 1, r); }, "CompleteItem /a/f 1"},
      {[](auto& s, auto r) { return s.ReadItem(File("/a/f"), 5, 1, 4, r); }, "ReadItem /a/f 5 1 4"},
      {[](auto& s, auto r) {
         std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[3]{'x', 'y', 'z'});
         return s.WriteItem(File("/a/f"), std::move(data), 7, 0, 3, r);
       },
       "WriteItem /a/f xyz 7 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    AsyncResult* result = nullptr;
    ASSERT_EQ(c.start(backEnd, &result), S_OK);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Finish(result), S_OK);
    EXPECT_EQ(backEnd.Last().first, c.expected);
    EXPECT_NE(backEnd.Last().second, std::this_thread::get_id());
  }
}

TEST_F(DataStoreRemoteImplBaseTest, PayloadOfTheDoOperationReachesTheCaller) {
  RecordingBackEnd backEnd(&pool_);
  AsyncResult* result = nullptr;
  ASSERT_EQ(backEnd.ListSubContainersAndItemCount(Folder("/a/"), &result), S_OK);
  result->Wait();
  ASSERT_EQ(result->State(), kAsyncSucceeded);
  const auto* listed = result->PayloadAs<ListSubContainersPayload>();
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(boost::get<2>(*listed), 7);
  ASSERT_EQ(boost::get<1>(*listed)->size(), 1u);
  EXPECT_EQ(boost::get<1>(*listed)->front()->info.uri, "/a/sub/");
  DeletePayloadObjects(*result);  // the receiver owns the records
  result->Release();
}

TEST_F(DataStoreRemoteImplBaseTest, DoStatusDecidesTheStateAndFailuresAreLogged) {
  RecordingBackEnd backEnd(&pool_);
  struct Case {
    HRESULT status;
    AsyncState state;
  };
  for (const Case& c : {Case{S_FALSE, kAsyncSucceeded}, Case{HR_FILE_NOT_FOUND, kAsyncFailed}}) {
    SCOPED_TRACE(c.status);
    backEnd.status = c.status;
    AsyncResult* result = nullptr;
    ASSERT_EQ(backEnd.DeleteItem(File("/a/f"), &result), S_OK);
    result->Wait();
    EXPECT_EQ(result->State(), c.state);
    EXPECT_EQ(result->Error(), c.status);
    result->Release();
  }
  backEnd.DrainCalls();
  std::vector<std::string> warnings;
  for (const std::string& line : logger_->Lines()) {
    if (line.starts_with(std::to_string(kLogWarn) + "|")) warnings.push_back(line);
  }
  EXPECT_EQ(warnings, std::vector<std::string>{Line(kLogWarn, "Fail: Do DeleteItem, ret = 80070002")});
}

TEST_F(DataStoreRemoteImplBaseTest, ThrowingDoFailsTheCallInsteadOfHangingIt) {
  RecordingBackEnd backEnd(&pool_);
  backEnd.during = [](AsyncResult*) { throw std::runtime_error("disk gone"); };
  AsyncResult* result = nullptr;
  ASSERT_EQ(backEnd.RenameItem(File("/a/f"), "g", &result), S_OK);
  EXPECT_EQ(Finish(result), E_UNEXPECTED);
}

TEST_F(DataStoreRemoteImplBaseTest, RefusedQueueHandsOutNothingAndLogs) {
  ThreadPool stopped(1);
  stopped.Join();
  RecordingBackEnd backEnd(&stopped);
  AsyncResult* const sentinel = NewResult(kAsyncSucceeded);
  AsyncResult* result = sentinel;
  const HRESULT hr = backEnd.DeleteContainer(Folder("/a/"), &result);
  EXPECT_EQ(hr, MakeHResult(0x8007045Bu));
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(backEnd.Last().first, "");
  EXPECT_EQ(logger_->Lines(), std::vector<std::string>{Line(
      kLogError, "QueueUserWorkItem Failed: DeleteContainer, LastError = 8007045B")});
  sentinel->Release();
}

TEST_F(DataStoreRemoteImplBaseTest, CancelledCallKeepsItsStateAndFreesTheLatePayload) {
  RecordingBackEnd backEnd(&pool_);
  auto entered = NewEvent();
  auto gate = NewEvent();
  backEnd.during = [&](AsyncResult*) {
    entered->Set();
    (void)gate->Wait(60000);
  };
  AsyncResult* result = nullptr;
  ASSERT_EQ(backEnd.CreateItem(Folder("/a/"), File("/a/f"), 0, &result), S_OK);
  ASSERT_TRUE(entered->Wait(60000));
  EXPECT_EQ(backEnd.CancelCall(result), S_OK);
  EXPECT_TRUE(result->WaitPumping(0));
  gate->Set();
  backEnd.DrainCalls();
  EXPECT_EQ(result->State(), kAsyncCancelled);
  EXPECT_EQ(ReadOutcome(*result), E_FAIL);
  EXPECT_EQ(ReadCallStatus(*result), E_ABORT);
  // The item the Do operation made was freed by the worker, not left behind.
  EXPECT_EQ(result->PayloadAs<CreateItemPayload>(), nullptr);
  EXPECT_EQ(result->Release(), 0);
}

TEST_F(DataStoreRemoteImplBaseTest, DestructionWaitsForRunningCalls) {
  auto* backEnd = new RecordingBackEnd(&pool_);
  auto entered = NewEvent();
  auto gate = NewEvent();
  std::atomic<bool> doFinished{false};
  backEnd->during = [&](AsyncResult*) {
    entered->Set();
    (void)gate->Wait(60000);
    doFinished = true;
  };
  AsyncResult* result = nullptr;
  ASSERT_EQ(backEnd->DeleteItem(File("/a/f"), &result), S_OK);
  ASSERT_TRUE(entered->Wait(60000));
  std::atomic<bool> deleted{false};
  bool finishedBeforeDelete = false;
  std::thread deleter([&] {
    delete backEnd;
    finishedBeforeDelete = doFinished.load();
    deleted = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(deleted.load());
  gate->Set();
  deleter.join();
  EXPECT_TRUE(finishedBeforeDelete);
  EXPECT_EQ(Finish(result), S_OK);
}

// A task thread runs a file's quick operations itself and finds them
// complete on return; a failure still reads and logs as from the pool.
// Listings, folder work and large reads stay on the pool, and so does every
// call of a thread without the scope (the window's thread).
TEST_F(DataStoreRemoteImplBaseTest, AnInlineScopeRunsOnlyQuickCallsOnTheCallingThread) {
  RecordingBackEnd backEnd(&pool_);
  using StartFn = std::function<HRESULT(IDataStoreRemote&, AsyncResult**)>;
  struct Case {
    const char* name;
    StartFn start;
    bool inlined;
  };
  const Case cases[] = {
      {"open", [](auto& s, auto r) { return s.OpenItem(File("/a/f"), false, r); }, true},
      {"create", [](auto& s, auto r) { return s.CreateItem(Folder("/a/"), File("/a/f"), 0, r); }, true},
      {"complete", [](auto& s, auto r) { return s.CompleteItem(File("/a/f"), 1, r); }, true},
      {"small read", [](auto& s, auto r) { return s.ReadItem(File("/a/f"), 0, 0, kInlineStoreBytes, r); }, true},
      {"large read", [](auto& s, auto r) { return s.ReadItem(File("/a/f"), 0, 0, kInlineStoreBytes + 1, r); }, false},
      {"listing", [](auto& s, auto r) { return s.ListSubItems(Folder("/a/"), 0, 10, 0, r); }, false},
      {"folder delete", [](auto& s, auto r) { return s.DeleteContainer(Folder("/a/"), r); }, false},
  };
  const std::thread::id self = std::this_thread::get_id();
  for (const bool scoped : {true, false}) {
    std::optional<InlineStoreCalls> scope;
    if (scoped) scope.emplace();
    EXPECT_EQ(InlineStoreCalls::Active(), scoped);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (scoped ? " in the scope" : " outside"));
      AsyncResult* result = nullptr;
      ASSERT_EQ(c.start(backEnd, &result), S_OK);
      const bool inlined = scoped && c.inlined;
      if (inlined) {
        EXPECT_NE(result->State(), kAsyncPending);
      }
      EXPECT_EQ(Finish(result), S_OK);
      EXPECT_EQ(backEnd.Last().second == self, inlined);
    }
  }
  InlineStoreCalls scope;
  backEnd.status = HR_FILE_NOT_FOUND;
  AsyncResult* result = nullptr;
  ASSERT_EQ(backEnd.DeleteItem(File("/a/gone"), &result), S_OK);
  EXPECT_EQ(result->State(), kAsyncFailed);
  EXPECT_EQ(Finish(result), HR_FILE_NOT_FOUND);
  EXPECT_EQ(logger_->Lines().back(), Line(kLogWarn, "Fail: Do DeleteItem, ret = 80070002"));
}

TEST(DataStoreRemoteNullImplBase, EveryOperationAnswersNotImplementedWithoutAResult) {
  DataStoreRemoteNullImplBase store;
  const ContainerInfo folder;
  const ItemInfo file;
  using StartFn = std::function<HRESULT(IDataStoreRemote&, AsyncResult**)>;
  const std::vector<StartFn> calls = {
      [&](auto& s, auto r) { return s.ListSubContainersAndItemCount(folder, r); },
      [&](auto& s, auto r) { return s.ShareContainer(folder, {BuddyInfo()}, r); },
      [&](auto& s, auto r) {
        return s.WriteItem(file, std::make_unique<std::uint8_t[]>(1), 0, 0, 1, r);
      },
      [&](auto& s, auto r) { return s.OpenStream(file, true, 0, 4096, 1024, "t", r); },
      [&](auto& s, auto r) { return s.WriteChunk(file, nullptr, "s", 0, 0, 0, r); },
  };
  AsyncResult* const sentinel = NewResult(kAsyncSucceeded);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    AsyncResult* result = sentinel;
    EXPECT_EQ(calls[i](store, &result), E_NOTIMPL);
    EXPECT_EQ(result, nullptr);
  }
  std::string text = "kept";
  EXPECT_EQ(store.GetLoginText(text), E_NOTIMPL);
  Container root;
  EXPECT_EQ(store.InitializeRoot(&root), E_NOTIMPL);
  sentinel->Release();

  // Cancelling is housekeeping every back end shares.
  AsyncResult* pending = NewResult();
  EXPECT_EQ(store.CancelCall(pending), S_OK);
  EXPECT_EQ(pending->State(), kAsyncCancelled);
  pending->Release();
}

}  // namespace
}  // namespace korvex
