//===- tasks/FileTaskTransfer.cpp - The transfer phase of a file task ----===//
//
// Each group passes through these stages:
//
//   reading --> opening --> moving --> closing --> storing --> settled
//   (upload:    (stream     (blocks    (service    (download:   (bits set,
//    bytes       opened)     on the     MD5 vs      group       task saved)
//    read)                   wire)      local)      written)
//
// A group's stream opens once every group before it has all its chunks on
// the service (or received), so chunks of one group at a time are on the
// wire, and a crash sends again no more than the two groups under way: the
// one whose check, write and save overlap the next one's chunks, and that
// next one. What needs no service runs alongside: the bytes of the group
// after are read and encrypted meanwhile, and MD5s are made, checks run and
// bitmaps saved while chunks are on the wire, never while the answer to a
// stream open is awaited, since the next group's chunks wait for it. A
// group's bits are set only when it has settled, and saved in order, so a
// saved bitmap never claims a block that may still have to be sent again.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <span>
#include <utility>

#include "foundation/CryptoAPI.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/LogMgr.h"
#include "foundation/Md5Lanes.h"
#include "platform/FileTime.h"
#include "platform/ThreadPool.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/FileTask.h"
#include "tasks/StoreCall.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "FileTask::ExcuteStream";
constexpr std::uint64_t kGroupBytes = std::uint64_t{FileTask::kBlockSize} * FileTask::kBlocksPerGroup;
// How long the task waits for its calls before it looks around again.
constexpr std::int64_t kCallWaitMs = 10000;
// How often the progress of a group moved by one call is passed on.
constexpr std::int64_t kProgressWaitMs = 250;
// The group being checked and saved, the one on the wire and the one read
// ahead.
constexpr std::size_t kGroupsUnderWay = 3;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Gives a call up. One that completed before the cancel holds a payload
// nobody took; waiting for it lets its completer finish first.
void DropCall(AsyncResult*& call) {
  if (call == nullptr) return;
  if (call->CancelCall()) call->Release();
  else AwaitedResult abandoned(call, false);
  call = nullptr;
}

// Saves the family on a pool thread. Its file only carries the byte count a
// resumed transfer starts from; waiting for the disk here would hold up the
// next group's stream. Requests made while one is queued share its save,
// which reads the family when it runs; destruction waits for the last one.
class FamilySaveBehind {
 public:
  FamilySaveBehind(TaskStore& store, const TaskFamily& family) : store_(store), family_(family) {}
  ~FamilySaveBehind() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !queued_ && !running_; });
  }
  FamilySaveBehind(const FamilySaveBehind&) = delete;
  FamilySaveBehind& operator=(const FamilySaveBehind&) = delete;

  void Request() {
    {
      std::lock_guard lock(mutex_);
      if (queued_) return;
      queued_ = true;
    }
    if (!ThreadPool::Default().Submit([this] { Save(); })) Save();
  }

 private:
  void Save() {
    {
      std::unique_lock lock(mutex_);
      idle_.wait(lock, [this] { return !running_; });
      queued_ = false;
      running_ = true;
    }
    (void)store_.SaveFamily(family_);
    std::lock_guard lock(mutex_);
    running_ = false;
    idle_.notify_all();
  }

  TaskStore& store_;
  const TaskFamily& family_;
  std::mutex mutex_;
  std::condition_variable idle_;
  bool queued_ = false;
  bool running_ = false;
};

}  // namespace

struct FileTask::GroupRun {
  /// Reading and opening overlap: a group is kOpening until both are done.
  enum class Stage { kOpening, kMoving, kClosing, kStoring, kSettled };
  struct BlockCall {
    std::uint32_t block = 0;
    AsyncResult* call = nullptr;
  };

  std::uint32_t group = 0;
  std::uint64_t start = 0;  ///< the group's first byte on the wire
  std::size_t size = 0;
  std::uint32_t firstBlock = 0;
  std::uint32_t endBlock = 0;
  Stage stage = Stage::kOpening;
  std::string streamId;
  /// The group's bytes as the service holds them, for the blocks and the MD5.
  std::unique_ptr<std::uint8_t[]> bytes;
  /// An upload's bytes once a group call sends them: it holds them too.
  std::shared_ptr<const std::uint8_t[]> sent;
  [[nodiscard]] const std::uint8_t* Data() const { return bytes ? bytes.get() : sent.get(); }
  bool loaded = false;  ///< the bytes are there to be sent (or received into)
  bool paced = false;   ///< the service store keeps the stream's in-flight bound
  AsyncResult* open = nullptr;
  AsyncResult* local = nullptr;  ///< the read of an upload, the write of a download
  AsyncResult* close = nullptr;
  std::uint32_t next = 0;  ///< the next block to start
  std::vector<BlockCall> blocks;
  /// The call that moves every block of the group at once, and the blocks
  /// it has done so far.
  AsyncResult* chunks = nullptr;
  std::shared_ptr<std::atomic<std::uint32_t>> moved;
  std::uint32_t reported = 0;  ///< blocks of `moved` counted as progress
  std::string localMd5;  ///< empty until made
  /// A download's whole-file digest carried over the group with localMd5.
  WholeFileMd5::Ahead fileMd5Ahead;
  std::uint64_t counted = 0;  ///< bytes reported as progress
};

struct FileTask::GroupPipeline {
  explicit GroupPipeline(TaskStore& store, const TaskFamily& family) : familySave(store, family) {}

  std::deque<std::unique_ptr<GroupRun>> runs;
  FamilySaveBehind familySave;
  std::uint32_t nextGroup = 0;
  bool finished = false;  ///< every group has settled
  bool unsaved = false;   ///< settled groups that the task file does not hold yet
  /// Counted from the start, so that a file moved within a second (most
  /// small files) is saved once, when it is done.
  std::chrono::steady_clock::time_point lastSave = std::chrono::steady_clock::now();

  /// The bitmap, and behind it the family's byte count: at most about once
  /// a second while groups settle (a big file would otherwise rewrite its
  /// record after every group), and at once with `now`. A crash loses only
  /// groups that are then sent again.
  void SaveSettled(TaskStore& store, const Task& task, bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!unsaved || (!now && time - lastSave < std::chrono::seconds(1))) return;
    (void)store.SaveTask(task);
    familySave.Request();
    lastSave = time;
    unsaved = false;
  }
};

void FileTask::SetGroup(std::uint32_t group) {
  const std::uint32_t blocks = std::min(kBlocksPerGroup, blockCount_ - group * kBlocksPerGroup);
  doneBlocks_[group] = blocks == 32 ? ~0u : ((1u << blocks) - 1);
}

void FileTask::ClearGroup(std::uint32_t group) {
  if (group < doneBlocks_.size()) doneBlocks_[group] = 0;
}

void FileTask::ClearUnfinishedGroups() {
  for (std::uint32_t group = 0; group < doneBlocks_.size(); ++group) {
    const std::uint32_t done = doneBlocks_[group];
    SetGroup(group);
    if (doneBlocks_[group] != done) ClearGroup(group);
  }
}

std::uint64_t FileTask::GroupBytes(std::uint32_t group) const {
  const std::uint64_t first = std::uint64_t{group} * kGroupBytes;
  return std::min<std::uint64_t>(kGroupBytes, WireSize() - first);
}

FileTask::Step FileTask::Transfer(TaskRunContext& context, HRESULT& error) {
  if (transferStart_ == 0) transferStart_ = FileTimeNow();
  if (error = PrepareEncoder(); Failed(error)) return Step::kFailed;
  // Groups sent before a stop or a restart count only while the file is
  // the one they were read from.
  if (std::any_of(doneBlocks_.begin(), doneBlocks_.end(), [](std::uint32_t word) { return word != 0; })) {
    bool changed = false;
    if (const Step step = CheckSource(context, error, changed); step != Step::kNext || changed) return step;
  }
  // A group left half done by an earlier run is sent again from its start:
  // its stream is gone and only a whole group can be verified.
  ClearUnfinishedGroups();
  if (const Step step = CatchUpFileMd5(context, error); step != Step::kNext) return step;
  GroupPipeline pipeline(context.manager.Store(), Family());
  const Step step = RunPipeline(context, pipeline, error);
  Abandon(context, pipeline);
  // Not finished: a group failed and is sent again by the next pass.
  const bool finished = step == Step::kNext && pipeline.finished;
  if (finished) {
    // The last groups and the next phase go to disk in one write; a file of
    // one group keeps its queued record until it is done (see FitsOneGroup).
    phase_ = 3;
    pipeline.unsaved = !FitsOneGroup();
  }
  pipeline.SaveSettled(context.manager.Store(), *this, /*now=*/true);
  return finished ? Step::kNext : step;
}

std::uint32_t FileTask::BlockWindow() const { return Family().HasPassword() ? 1 : kMaxInFlight; }

FileTask::Step FileTask::RunPipeline(TaskRunContext& context, GroupPipeline& pipeline, HRESULT& error) {
  for (;;) {
    // A stream's open answer goes first: the next group's chunks wait for
    // it, while checks, saves and hashes can wait for the chunks.
    if (!IsOpening(pipeline)) SettleFront(context, pipeline);
    if (error = FillPipeline(pipeline); Failed(error)) return Step::kFailed;
    if (pipeline.runs.empty()) {
      pipeline.finished = true;
      return Step::kNext;
    }
    GroupRun* run = nullptr;
    HRESULT failure = S_OK;
    for (auto& candidate : pipeline.runs) {
      run = candidate.get();
      if (error = OpenGroupStream(*run); Failed(error)) return Step::kFailed;
      if (failure = StartMoving(*run); Failed(failure) || run->stage < GroupRun::Stage::kClosing) break;
    }
    // The last group is on the wire: the next file's turn is near.
    if (Succeeded(failure) && pipeline.nextGroup >= doneBlocks_.size()) PrepareNextAhead(context);
    AsyncResult** call = nullptr;
    if (Succeeded(failure)) {
      const bool opening = IsOpening(pipeline);
      GroupRun* unhashed = opening ? nullptr : FirstUnhashed(pipeline);
      GroupRun* const partner = unhashed != nullptr ? NextUnhashed(pipeline, *unhashed) : nullptr;
      // An upload's group read ahead waits for the next one to be hashed
      // beside it, unless its close is about to need its MD5.
      if (unhashed != nullptr && IsUpload() && partner == nullptr && unhashed->stage < GroupRun::Stage::kClosing)
        unhashed = nullptr;
      const bool whole = std::any_of(pipeline.runs.begin(), pipeline.runs.end(),
                                     [](const auto& r) { return r->chunks != nullptr; });
      const std::int64_t waitMs = unhashed != nullptr ? 0 : whole ? kProgressWaitMs : kCallWaitMs;
      const int which = WaitForCall(context, pipeline, opening, run, call, waitMs);
      if (which == 0) return Step::kStopped;
      for (auto& moving : pipeline.runs) ReportMoved(context, *moving);
      if (which == kWaitTimeout) {
        if (unhashed == nullptr) continue;
        run = unhashed;
        failure = HashGroup(*unhashed, partner);
      } else if (call == &run->open) {
        if (error = OnStreamOpened(*run); Failed(error)) return Step::kFailed;
        continue;
      } else {
        failure = OnCallDone(context, *run, *call);
      }
    }
    if (Failed(failure)) {
      const std::uint32_t group = run->group;
      Abandon(context, pipeline);
      return OnGroupFailed(context, group, failure, error);
    }
  }
}

void FileTask::SettleFront(TaskRunContext& context, GroupPipeline& pipeline) {
  while (!pipeline.runs.empty() && pipeline.runs.front()->stage == GroupRun::Stage::kSettled) {
    context.manager.OnStepSucceeded(*this);
    SetGroup(pipeline.runs.front()->group);
    pipeline.runs.pop_front();
    // The byte count goes with the bitmap, so that a transfer resumed after
    // a crash counts from where its blocks stand.
    pipeline.unsaved = true;
    pipeline.SaveSettled(context.manager.Store(), *this, /*now=*/false);
  }
}

HRESULT FileTask::FillPipeline(GroupPipeline& pipeline) {
  while (pipeline.runs.size() < kGroupsUnderWay) {
    std::uint32_t& group = pipeline.nextGroup;
    while (group < doneBlocks_.size() && doneBlocks_[group] != 0) ++group;
    if (group >= doneBlocks_.size()) return S_OK;
    auto run = std::make_unique<GroupRun>();
    run->group = group;
    run->start = std::uint64_t{group} * kGroupBytes;
    run->size = static_cast<std::size_t>(GroupBytes(group));
    run->firstBlock = group * kBlocksPerGroup;
    run->endBlock = std::min(blockCount_, run->firstBlock + kBlocksPerGroup);
    run->next = run->firstBlock;
    pipeline.runs.push_back(std::move(run));
    ++group;
    if (const HRESULT hr = StartGroup(*pipeline.runs.back()); Failed(hr)) return hr;
  }
  return S_OK;
}

HRESULT FileTask::StartGroup(GroupRun& run) {
  if (!IsUpload()) {
    run.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(run.size);
    run.loaded = true;
    return S_OK;
  }
  // The whole group in one read: one trip through the local store instead
  // of one per block.
  const BlockSpan first = SpanOf(run.firstBlock);
  const BlockSpan last = SpanOf(run.endBlock - 1);
  const std::uint64_t length = last.plainOffset + last.plainLength - first.plainOffset;
  // An encrypted empty file is header and digest alone: nothing to read.
  if (length == 0) return OnBytesRead(run, nullptr);
  IDataStoreRemote* local = Family().SourceStore()->Remote();
  const HRESULT hr = local->ReadItem(source_, static_cast<std::uint32_t>(first.plainOffset),
                                     static_cast<std::uint32_t>(first.plainOffset >> 32),
                                     static_cast<std::uint32_t>(length), &run.local);
  return Succeeded(hr) && run.local == nullptr ? E_UNEXPECTED : hr;
}

HRESULT FileTask::OnBytesRead(GroupRun& run, std::uint8_t* plain) {
  std::unique_ptr<std::uint8_t[]> owned(plain);
  if (cryptMode_ != 1) {
    run.bytes = std::move(owned);
    return Loaded(run);
  }
  // Encrypted here, on the task's thread, while the group before is on the
  // wire.
  run.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(run.size);
  const std::uint64_t plainStart = SpanOf(run.firstBlock).plainOffset;
  std::vector<std::uint8_t> encoded;
  for (std::uint32_t block = run.firstBlock; block < run.endBlock; ++block) {
    const BlockSpan span = SpanOf(block);
    const std::uint8_t* from = owned ? owned.get() + (span.plainOffset - plainStart) : nullptr;
    if (const HRESULT hr = encoder_->EncodeBlock(block, std::span(from, span.plainLength), encoded); Failed(hr))
      return hr;
    if (encoded.size() != span.wireLength) return E_UNEXPECTED;
    std::memcpy(run.bytes.get() + (span.wireOffset - run.start), encoded.data(), encoded.size());
  }
  return Loaded(run);
}

HRESULT FileTask::Loaded(GroupRun& run) {
  // Hashed when this thread has a moment, while the group before is on the
  // wire: the chunks do not need the MD5, only the check at the close.
  run.loaded = true;
  // Shared from here on, so that a group call may send them without a copy.
  if (IsUpload()) run.sent = std::move(run.bytes);
  return S_OK;
}

HRESULT FileTask::OpenGroupStream(GroupRun& run) {
  if (run.stage != GroupRun::Stage::kOpening || !run.streamId.empty() || run.open != nullptr) return S_OK;
  const HRESULT hr = ServiceRemote()->OpenStream(ServiceItem(), !IsUpload(), run.start,
                                                 static_cast<std::uint32_t>(run.size), kBlockSize, ServiceToken(),
                                                 &run.open);
  return Succeeded(hr) && run.open == nullptr ? E_UNEXPECTED : hr;
}

HRESULT FileTask::StartMoving(GroupRun& run) {
  if (run.stage == GroupRun::Stage::kOpening) {
    if (run.streamId.empty() || !run.loaded) return S_OK;
    run.stage = GroupRun::Stage::kMoving;
  }
  return run.stage == GroupRun::Stage::kMoving ? StartBlocks(run) : S_OK;
}

HRESULT FileTask::StartBlocks(GroupRun& run) {
  IDataStoreRemote* service = ServiceRemote();
  if (run.next == run.firstBlock && run.paced && WireIsChunked(run)) {
    if (const HRESULT hr = StartGroupCall(run); hr != E_NOTIMPL) return hr;
  }
  const std::size_t window = run.paced ? kBlocksPerGroup : BlockWindow();
  while (run.next < run.endBlock && run.blocks.size() < window) {
    const BlockSpan span = SpanOf(run.next);
    const std::uint32_t sequence = run.next - run.firstBlock;
    AsyncResult* call = nullptr;
    const HRESULT hr =
        IsUpload() ? service->WriteChunk(target_, run.Data() + (span.wireOffset - run.start), run.streamId,
                                         sequence, span.wireOffset, span.wireLength, &call)
                   : service->ReadChunk(source_, run.streamId, sequence, span.wireOffset, span.wireLength, &call);
    if (Failed(hr)) return hr;
    if (call == nullptr) return E_UNEXPECTED;
    run.blocks.push_back({run.next++, call});
  }
  return S_OK;
}

bool FileTask::WireIsChunked(const GroupRun& run) const {
  for (std::uint32_t block = run.firstBlock; block < run.endBlock; ++block) {
    const BlockSpan span = SpanOf(block);
    const std::uint64_t at = std::uint64_t{block - run.firstBlock} * kBlockSize;
    if (span.wireOffset != run.start + at || span.wireLength != std::min<std::uint64_t>(kBlockSize, run.size - at))
      return false;
  }
  return true;
}

HRESULT FileTask::StartGroupCall(GroupRun& run) {
  IDataStoreRemote* service = ServiceRemote();
  run.moved = std::make_shared<std::atomic<std::uint32_t>>(0);
  const auto size = static_cast<std::uint32_t>(run.size);
  HRESULT hr = E_NOTIMPL;
  if (IsUpload()) {
    hr = service->WriteChunks(target_, run.sent, run.streamId, run.start, size, kBlockSize, BlockWindow(), run.moved,
                              &run.chunks);
  } else {
    hr = service->ReadChunks(source_, run.streamId, run.start, size, kBlockSize, BlockWindow(), run.bytes, run.moved,
                             &run.chunks);
  }
  if (Failed(hr)) return hr;
  if (run.chunks == nullptr) return E_UNEXPECTED;
  run.next = run.endBlock;
  return S_OK;
}

void FileTask::ReportMoved(TaskRunContext& context, GroupRun& run) {
  if (!run.moved) return;
  const std::uint32_t moved = std::min(run.moved->load(), run.endBlock - run.firstBlock);
  std::uint64_t bytes = 0;
  for (; run.reported < moved; ++run.reported) bytes += SpanOf(run.firstBlock + run.reported).plainLength;
  if (bytes == 0) return;
  // Progress counts the user's bytes, not the header.
  run.counted += bytes;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, bytes, 0);
}

bool FileTask::DueForHash(const GroupRun& run) const {
  // A received group's bytes are whole once its last chunk is in.
  return run.localMd5.empty() && (IsUpload() ? run.loaded : run.stage >= GroupRun::Stage::kClosing);
}

FileTask::GroupRun* FileTask::FirstUnhashed(GroupPipeline& pipeline) const {
  for (auto& run : pipeline.runs)
    if (DueForHash(*run)) return run.get();
  return nullptr;
}

FileTask::GroupRun* FileTask::NextUnhashed(GroupPipeline& pipeline, const GroupRun& after) const {
  bool passed = false;
  for (auto& run : pipeline.runs) {
    if (passed && DueForHash(*run)) return run.get();
    passed = passed || run.get() == &after;
  }
  return nullptr;
}

bool FileTask::IsOpening(const GroupPipeline& pipeline) {
  return std::any_of(pipeline.runs.begin(), pipeline.runs.end(), [](const auto& run) { return run->open != nullptr; });
}

HRESULT FileTask::HashGroup(GroupRun& run, GroupRun* partner) {
  if (!run.localMd5.empty()) return S_OK;
  // Two groups read ahead of an upload are hashed side by side.
  if (IsUpload() && partner != nullptr && partner->size == run.size && partner->localMd5.empty()) {
    Md5State first, second;
    Md5UpdateTwo(first, run.Data(), second, partner->Data(), run.size);
    run.localMd5 = Md5::ToHex(Md5Final(first));
    partner->localMd5 = Md5::ToHex(Md5Final(second));
    return S_OK;
  }
  if (IsUpload() || expectedMd5_.empty()) return CryptoAPI::HashBuffer(run.Data(), run.size, kHashMd5, run.localMd5);
  fileMd5_.HashGroup(run.start, run.Data(), run.size, fileSize_, run.localMd5, run.fileMd5Ahead);
  return S_OK;
}

int FileTask::WaitForCall(TaskRunContext& context, GroupPipeline& pipeline, bool opensOnly, GroupRun*& run,
                          AsyncResult**& call, std::int64_t timeoutMs) {
  std::vector<Event*> events{&context.stop};
  std::vector<std::pair<GroupRun*, AsyncResult**>> calls;
  for (auto& candidate : pipeline.runs) {
    GroupRun& r = *candidate;
    for (AsyncResult** slot : {&r.open, &r.local, &r.close, &r.chunks})
      if (*slot != nullptr && (!opensOnly || slot == &r.open)) calls.emplace_back(&r, slot);
    if (opensOnly) continue;
    for (auto& block : r.blocks) calls.emplace_back(&r, &block.call);
  }
  for (const auto& [owner, slot] : calls) events.push_back(&(*slot)->GetEvent());
  const int which = WaitAny(events, timeoutMs);
  if (which > 0) std::tie(run, call) = calls[static_cast<std::size_t>(which - 1)];
  return which;
}

HRESULT FileTask::OnStreamOpened(GroupRun& run) {
  AwaitedResult opened(std::exchange(run.open, nullptr), false);
  auto payload = opened.Take<OpenStreamPayload>();
  HRESULT hr = opened.Status();
  if (Succeeded(hr) && payload) {
    run.streamId = boost::get<1>(*payload);
    // Handing the store every block at once spares each block a trip through
    // this thread; the store still keeps the bound on the wire.
    run.paced = ServiceRemote()->SetStreamWindow(run.streamId, BlockWindow());
    return S_OK;
  }
  LogMgr::Get().Trace(kCategory, "File Task Context : %p,开始第%u组第%u块读写,打开流失败", static_cast<void*>(this),
                      run.group, run.firstBlock);
  return Failed(hr) ? hr : E_UNEXPECTED;
}

HRESULT FileTask::OnCallDone(TaskRunContext& context, GroupRun& run, AsyncResult*& call) {
  if (&call == &run.local) {
    AwaitedResult done(std::exchange(run.local, nullptr), false);
    if (Failed(done.Status())) return done.Status();
    if (!IsUpload()) {
      run.stage = GroupRun::Stage::kSettled;
      return S_OK;
    }
    auto payload = done.Take<ReadBufferPayload>();
    if (!payload || boost::get<1>(*payload) == nullptr) return E_UNEXPECTED;
    return OnBytesRead(run, boost::get<1>(*payload));
  }
  if (&call == &run.chunks) {
    AwaitedResult done(std::exchange(run.chunks, nullptr), false);
    if (Failed(done.Status())) return done.Status();
    ReportMoved(context, run);
    if (!IsUpload()) {
      auto payload = done.Take<ReadBufferPayload>();
      run.bytes.reset(payload ? boost::get<1>(*payload) : nullptr);
      if (!run.bytes) return E_UNEXPECTED;
    }
    return CloseGroup(run);
  }
  if (&call == &run.close) {
    AwaitedResult closed(std::exchange(run.close, nullptr), false);
    auto payload = closed.Take<CloseStreamPayload>();
    if (Failed(closed.Status())) return closed.Status();
    if (!payload) return E_UNEXPECTED;
    return OnGroupClosed(run, boost::get<2>(*payload));
  }
  const auto slot = static_cast<std::size_t>(
      std::find_if(run.blocks.begin(), run.blocks.end(), [&](const auto& b) { return &b.call == &call; }) -
      run.blocks.begin());
  const BlockSpan span = SpanOf(run.blocks[slot].block);
  {
    AwaitedResult done(std::exchange(run.blocks[slot].call, nullptr), false);
    run.blocks.erase(run.blocks.begin() + static_cast<std::ptrdiff_t>(slot));
    if (Failed(done.Status())) return done.Status();
    if (!IsUpload()) {
      auto payload = done.Take<ReadBufferPayload>();
      const std::unique_ptr<std::uint8_t[]> data(payload ? boost::get<1>(*payload) : nullptr);
      if (!data) return E_UNEXPECTED;
      std::memcpy(run.bytes.get() + (span.wireOffset - run.start), data.get(), span.wireLength);
    }
  }
  // Progress counts the user's bytes, not the header.
  run.counted += span.plainLength;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, span.plainLength, 0);
  if (run.next < run.endBlock || !run.blocks.empty()) return S_OK;
  return CloseGroup(run);
}

HRESULT FileTask::CloseGroup(GroupRun& run) {
  const HRESULT hr = ServiceRemote()->CloseStream(ServiceItem(), run.streamId, &run.close);
  if (Failed(hr)) return hr;
  if (run.close == nullptr) return E_UNEXPECTED;
  run.stage = GroupRun::Stage::kClosing;
  // A received group is hashed once the next group's stream is open, or
  // when the service's MD5 comes first.
  return S_OK;
}

HRESULT FileTask::OnGroupClosed(GroupRun& run, const std::string& serviceMd5) {
  if (const HRESULT hr = HashGroup(run); Failed(hr)) return hr;
  if (!EqualsIgnoringCase(serviceMd5, run.localMd5)) {
    LogMgr::Get().Trace(kCategory, "File Task Context : %p,第%u组校验失败,服务器md5:%s -- 本地md5:%s",
                        static_cast<void*>(this), run.group, serviceMd5.c_str(), run.localMd5.c_str());
    return HR_GROUP_VERIFY_FAILED;
  }
  if (IsUpload()) {
    run.sent.reset();
    run.stage = GroupRun::Stage::kSettled;
    return S_OK;
  }
  if (!expectedMd5_.empty()) {
    if (const HRESULT hr = fileMd5_.Feed(run.start, run.bytes.get(), run.size, fileSize_, run.localMd5, &run.fileMd5Ahead);
        Failed(hr))
      return hr;
  }
  // Only verified bytes reach the file.
  const HRESULT hr = Family().TargetStore()->Remote()->WriteItem(target_, std::move(run.bytes),
                                                                static_cast<std::uint32_t>(run.start),
                                                                static_cast<std::uint32_t>(run.start >> 32),
                                                                static_cast<std::uint32_t>(run.size), &run.local);
  if (Failed(hr)) return hr;
  if (run.local == nullptr) return E_UNEXPECTED;
  run.stage = GroupRun::Stage::kStoring;
  return S_OK;
}

FileTask::Step FileTask::OnGroupFailed(TaskRunContext& context, std::uint32_t group, HRESULT failure,
                                       HRESULT& error) {
  // The source is shorter than the transfer measured: reading the group
  // again would meet the same end for ever. It goes as a changed file does,
  // from the start as it now is, until it keeps changing.
  if (IsUpload() && failure == HR_FILE_SHRUNK) {
    bool changed = false;
    if (const Step step = CheckSource(context, error, changed); step != Step::kNext || changed) return step;
    error = failure;
    return Step::kFailed;
  }
  if (failure == HR_GROUP_VERIFY_FAILED) {
    if (++verifyFailures_[group] < kMaxGroupVerifyFailures) return Step::kNext;
    // Sending the group yet again would loop for ever: the file fails.
    error = failure;
    verifyFailures_.erase(group);
    return Step::kFailed;
  }
  // Sending again with a refused token, or into a partial file that is
  // gone, cannot succeed: the transfer is prepared again first.
  if (failure == HR_STREAM_TOKEN_REFUSED ||
      (!IsUpload() && (failure == HR_FILE_NOT_FOUND || failure == HR_CANNOT_OPEN_FOR_WRITING))) {
    error = failure;
    return Step::kFailed;
  }
  // Sent again by the next pass until the stream failures reach their limit.
  if (++streamFailures < kMaxStreamFailures) return Step::kNext;
  error = failure;
  return Step::kFailed;
}

void FileTask::Abandon(TaskRunContext& context, GroupPipeline& pipeline) {
  for (auto& run : pipeline.runs) {
    const bool streamOpen = !run->streamId.empty() && run->stage < GroupRun::Stage::kClosing;
    DropCall(run->open);
    DropCall(run->local);
    DropCall(run->close);
    DropCall(run->chunks);
    for (auto& block : run->blocks) DropCall(block.call);
    if (streamOpen) CloseStreamQuietly(run->streamId);
    ClearGroup(run->group);
    // Fed to the file's digest but never written, if it got that far.
    fileMd5_.Forget(run->start);
    if (run->counted != 0) (void)context.manager.OnTaskEvent(*this, TaskEvent::kRollback, run->counted, 0);
  }
  pipeline.runs.clear();
}

void FileTask::CloseStreamQuietly(const std::string& streamId) {
  // Nobody waits for it: a stream left open only holds a slot on the service
  // until it times out there.
  AsyncResult* call = nullptr;
  if (Succeeded(ServiceRemote()->CloseStream(ServiceItem(), streamId, &call)) && call != nullptr) call->Release();
}

}  // namespace korvex
