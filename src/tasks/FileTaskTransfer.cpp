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
#include <cstring>
#include <span>
#include <utility>

#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/LogMgr.h"
#include "platform/FileTime.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/FileTask.h"
#include "tasks/FileTaskGroups.h"
#include "tasks/StoreCall.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

namespace korvex {

using namespace file_task_groups;

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

bool FileTask::IsOpening(const GroupPipeline& pipeline) {
  return std::any_of(pipeline.runs.begin(), pipeline.runs.end(), [](const auto& run) { return run->open != nullptr; });
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

}  // namespace korvex
