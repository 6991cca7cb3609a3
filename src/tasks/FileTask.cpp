#include "tasks/FileTask.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <span>
#include <utility>

#include "foundation/CryptoAPI.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/LogMgr.h"
#include "platform/FileTime.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "tasks/StoreCall.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "FileTask::ExcuteStream";
constexpr std::uint64_t kGroupBytes = std::uint64_t{FileTask::kBlockSize} * FileTask::kBlocksPerGroup;

std::string TextOf(const boost::any& value) {
  const std::string* text = boost::any_cast<std::string>(&value);
  return text ? *text : std::string();
}

std::uint64_t IdOf(const boost::any& value) {
  const std::uint64_t* id = boost::any_cast<std::uint64_t>(&value);
  return id ? *id : 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string NameOf(const std::string& path) {
  std::string_view view(path);
  if (!view.empty() && view.back() == '/') view.remove_suffix(1);
  const std::size_t slash = view.rfind('/');
  return std::string(slash == std::string_view::npos ? view : view.substr(slash + 1));
}

constexpr std::string_view kLockSuffix = ".lock";

bool HasLockName(std::string_view name) {
  return name.size() >= kLockSuffix.size() && EqualsIgnoringCase(name.substr(name.size() - kLockSuffix.size()), kLockSuffix);
}

StoredObject Stored(const std::string& uri, const boost::any& tag) { return {uri, IdOf(tag)}; }

}  // namespace

struct FileTask::GroupRun {
  std::uint32_t group = 0;
  std::uint64_t start = 0;  ///< the group's first byte in the file
  std::uint32_t firstBlock = 0;
  std::uint32_t endBlock = 0;
  std::string streamId;
  /// The group's bytes as they pass, for the check against the service's MD5.
  std::vector<std::uint8_t> bytes;
  std::uint64_t counted = 0;  ///< bytes reported as progress
  bool stopped = false;       ///< the stop event cut the group short
};

struct FileTask::InFlight {
  std::uint32_t block = 0;
  /// 1 while the first call of the block runs (reading the source), 2 while
  /// the second one (writing the target) runs.
  int stage = 0;
  AsyncResult* call = nullptr;
};

FileTask::FileTask(std::uint32_t id, TaskFamily& family, const ItemInfo& source, const ContainerInfo& targetParent)
    : Task(TaskType::kFile, id, family),
      fileSize_(source.size),
      fileTime_(source.modifyTime),
      source_(source),
      parent_(targetParent) {
  target_.name = source.name;
  target_.uri = targetParent.uri + source.name;
  target_.size = source.size;
  target_.modifyTime = source.modifyTime;
  DeriveCryptMode(true);
}

FileTask::FileTask(TaskFamily& family, const FileTaskRecord& record)
    : Task(TaskType::kFile, record.taskId, family),
      fileSize_(record.fileSize),
      fileTime_(record.fileTime),
      phase_(record.phase),
      blockCount_(record.blockCount),
      doneBlocks_(record.doneBlocks) {
  auto rebuildItem = [&](ItemInfo& item, const StoredObject& stored) {
    item.uri = stored.path;
    item.name = NameOf(stored.path);
    item.size = fileSize_;
    item.modifyTime = fileTime_;
    if (stored.id != 0) item.tag = stored.id;
  };
  rebuildItem(source_, record.source);
  rebuildItem(target_, record.target);
  // The target's stored name already carries its ".lock".
  source_.locked = HasLockName(source_.name) ? 1 : 0;
  DeriveCryptMode(false);
  parent_.uri = record.targetParent.path;
  parent_.name = NameOf(record.targetParent.path);
  if (record.targetParent.id != 0) parent_.tag = record.targetParent.id;
  if (!record.transferToken.empty()) ServiceItem().extraTag = record.transferToken;
  // Only phases with a created target and a sized bitmap can be resumed.
  if (phase_ < 2 || phase_ > 4 || doneBlocks_.size() != (std::size_t{blockCount_} + 31) / 32) {
    phase_ = 0;
    SizeBitmap();
  }
  if (IsUpload()) target_.partial = 1;
  else if (phase_ >= 2) target_.partial = 1;
  // A download token the service no longer honours cannot be resumed with.
  const std::string token = TextOf(source_.extraTag);
  if (!IsUpload() && phase_ >= 2 && (token.empty() || token == "deleted")) phase_ = 0;
}

FileTask::~FileTask() = default;

void FileTask::DeriveCryptMode(bool renameTarget) {
  const bool lockName = HasLockName(source_.name);
  cryptMode_ = 0;
  if (source_.locked != 1 && Family().HasPassword() && IsUpload()) {
    cryptMode_ = lockName ? 2 : 1;
    // A ".lock" file is sent as it is, never encrypted twice.
    if (lockName) source_.locked = 2;
  } else if (source_.locked == 1) {
    cryptMode_ = 2;
  }
  headerSize_ = cryptMode_ == 1 ? static_cast<std::uint32_t>(kEncryptedPrefixSize) : 0;
  // The target is protected on the service: mode 1 makes the preparation
  // announce the 20 bytes the header adds.
  target_.locked = cryptMode_;
  if (renameTarget && cryptMode_ != 0 && !HasLockName(target_.name)) {
    target_.name += kLockSuffix;
    target_.uri += kLockSuffix;
  }
}

HRESULT FileTask::PrepareEncoder() {
  if (cryptMode_ != 1 || encoder_) return S_OK;
  const auto& field = Family().Password();
  std::string password(reinterpret_cast<const char*>(field.data()),
                       std::find(field.begin(), field.end(), std::uint8_t{0}) - field.begin());
  auto encoder = std::make_unique<EncryptingBlockEncoder>();
  const HRESULT hr = encoder->Init(password, kBlockSize);
  std::fill(password.begin(), password.end(), '\0');
  if (Failed(hr)) return hr;
  encoder_ = std::move(encoder);
  return S_OK;
}

FileTask::BlockSpan FileTask::SpanOf(std::uint32_t block) const {
  BlockSpan span;
  span.wireOffset = std::uint64_t{block} * kBlockSize;
  span.wireLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlockSize, WireSize() - span.wireOffset));
  // The header takes the front of block 0, so later blocks start that much
  // earlier in the plain file.
  const std::uint32_t header = block == 0 ? headerSize_ : 0;
  span.plainOffset = block == 0 ? 0 : span.wireOffset - headerSize_;
  span.plainLength = span.wireLength - header;
  return span;
}

bool FileTask::IsUpload() const { return Family().Direction() != TransferDirection::kDownload; }

IDataStoreRemote* FileTask::ServiceRemote() const {
  const auto store = IsUpload() ? Family().TargetStore() : Family().SourceStore();
  return store ? store->Remote() : nullptr;
}

std::string FileTask::ServiceToken() const { return TextOf(IsUpload() ? target_.extraTag : source_.extraTag); }

std::uint32_t FileTask::TakeOverwriteFlag() const {
  std::uint32_t answer = Family().conflictAnswer.load();
  if (answer == 1) {
    // Consumed: the next conflict asks again.
    Family().conflictAnswer.compare_exchange_strong(answer, 0);
    return 1;
  }
  return answer == 2 ? 1 : 0;
}

void FileTask::SizeBitmap() {
  blockCount_ = static_cast<std::uint32_t>((WireSize() + kBlockSize - 1) / kBlockSize);
  doneBlocks_.assign((std::size_t{blockCount_} + 31) / 32, 0);
}

bool FileTask::BlockDone(std::uint32_t block) const { return (doneBlocks_[block / 32] >> (block % 32)) & 1u; }

void FileTask::SetBlock(std::uint32_t block, bool done) {
  const std::uint32_t bit = 1u << (block % 32);
  if (done) doneBlocks_[block / 32] |= bit;
  else doneBlocks_[block / 32] &= ~bit;
}

void FileTask::ClearGroup(std::uint32_t group) {
  if (group < doneBlocks_.size()) doneBlocks_[group] = 0;
}

std::uint64_t FileTask::GroupBytes(std::uint32_t group) const {
  const std::uint64_t first = std::uint64_t{group} * kGroupBytes;
  return std::min<std::uint64_t>(kGroupBytes, WireSize() - first);
}

bool FileTask::Run(TaskRunContext& context) {
  while (!IsStopped(context.stop)) {
    HRESULT error = S_OK;
    Step step = Step::kNext;
    const std::uint32_t phase = phase_;
    switch (phase_) {
      case 0: step = Prepare(context, error); break;
      case 1: step = CreateTarget(context, error); break;
      case 2: phase_ = 4; break;
      case 4: step = Transfer(context, error); break;
      case 3:
        step = Complete(context, error);
        if (step == Step::kNext) return true;
        break;
      default: phase_ = 0; break;
    }
    if (step == Step::kStopped) return false;
    if (step == Step::kFailed && HandleError(context, error, phase == 0 ? 1000 : 200)) return true;
  }
  return false;
}

bool FileTask::HandleError(TaskRunContext& context, HRESULT error, std::uint32_t pauseMs) {
  const TaskEventAnswer answer = context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error),
                                                             1, DataStore::LastErrorMessage());
  if (answer.detail == ErrorDetail::kFamilyStops) {
    context.stop.Set();
    return false;
  }
  if (answer.detail == ErrorDetail::kSkipped) {
    (void)context.manager.Store().DeleteTask(Family().Id(), Id());
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
    return true;
  }
  const auto pause = std::max<std::int64_t>(pauseMs, answer.retryPause.count());
  (void)context.stop.Wait(pause);
  return false;
}

FileTask::Step FileTask::Prepare(TaskRunContext& context, HRESULT& error) {
  const auto source = Family().SourceStore();
  AsyncResult* call = nullptr;
  if (error = source->Remote()->OpenItem(source_, false, &call); Failed(error)) return Step::kFailed;
  if (call != nullptr) {
    if (!AwaitCall(call, context.stop)) return Step::kStopped;
    AwaitedResult opened(call, false);
    if (error = opened.Status(); Failed(error)) return Step::kFailed;
    if (auto payload = opened.Take<OpenItemPayload>(); payload && !boost::get<1>(*payload).empty())
      source_.extraTag = boost::get<1>(*payload);
  }
  phase_ = 1;
  return Step::kNext;
}

FileTask::Step FileTask::CreateTarget(TaskRunContext& context, HRESULT& error) {
  const auto target = Family().TargetStore();
  const std::uint32_t overwrite = TakeOverwriteFlag();
  target_.size = fileSize_;
  target_.modifyTime = fileTime_;
  AsyncResult* call = nullptr;
  if (error = target->Remote()->CreateItem(parent_, target_, overwrite, &call); Failed(error)) return Step::kFailed;
  if (call != nullptr) {
    if (!AwaitCall(call, context.stop)) return Step::kStopped;
    if (error = target->FinishCreateItem(parent_, target_, call); Failed(error)) return Step::kFailed;
  }
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kTargetCreated, 0, 0);
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, 0, 0);
  SizeBitmap();
  phase_ = 2;
  (void)context.manager.Store().SaveTask(*this);
  return Step::kNext;
}

FileTask::Step FileTask::Transfer(TaskRunContext& context, HRESULT& error) {
  if (transferStart_ == 0) transferStart_ = FileTimeNow();
  if (error = PrepareEncoder(); Failed(error)) return Step::kFailed;
  // A group left half done by an earlier run is sent again from its start:
  // its stream is gone and only a whole group can be verified.
  for (std::uint32_t group = 0; group < doneBlocks_.size(); ++group) {
    const std::uint32_t blocks = std::min(kBlocksPerGroup, blockCount_ - group * kBlocksPerGroup);
    const std::uint32_t full = blocks == 32 ? ~0u : ((1u << blocks) - 1);
    if (doneBlocks_[group] != full) ClearGroup(group);
  }
  for (std::uint32_t group = 0; group < doneBlocks_.size(); ++group) {
    if (doneBlocks_[group] != 0) continue;
    const Step step = TransferGroup(context, group, error);
    if (step != Step::kNext) return step;
    if (doneBlocks_[group] == 0) --group;  // the group failed its check: again
    // The family's byte count is saved with the bitmap, so that a transfer
    // resumed after a crash counts from where its blocks stand.
    (void)context.manager.Store().SaveTask(*this);
    (void)context.manager.Store().SaveFamily(Family());
  }
  phase_ = 3;
  (void)context.manager.Store().SaveTask(*this);
  return Step::kNext;
}

FileTask::Step FileTask::TransferGroup(TaskRunContext& context, std::uint32_t group, HRESULT& error) {
  GroupRun run;
  run.group = group;
  run.start = std::uint64_t{group} * kGroupBytes;
  run.firstBlock = group * kBlocksPerGroup;
  run.endBlock = std::min(blockCount_, run.firstBlock + kBlocksPerGroup);
  run.bytes.resize(GroupBytes(group));

  AsyncResult* call = nullptr;
  if (error = ServiceRemote()->OpenStream(ServiceItem(), !IsUpload(), run.start,
                                          static_cast<std::uint32_t>(run.bytes.size()), kBlockSize, ServiceToken(),
                                          &call);
      Failed(error))
    return Step::kFailed;
  if (!AwaitCall(call, context.stop)) return Step::kStopped;
  {
    AwaitedResult opened(call, false);
    auto payload = opened.Take<OpenStreamPayload>();
    if (error = opened.Status(); Failed(error) || !payload) {
      LogMgr::Get().Trace(kCategory, "File Task Context : %p,开始第%u组第%u块读写,打开流失败", static_cast<void*>(this),
                          group, run.firstBlock);
      if (!Failed(error)) error = E_UNEXPECTED;
      return Step::kFailed;
    }
    run.streamId = boost::get<1>(*payload);
  }

  HRESULT failure = MoveBlocks(context, run);
  std::string serviceMd5;
  if (!run.stopped && Succeeded(failure)) failure = CloseGroupStream(context, run.streamId, serviceMd5);
  else CloseStreamQuietly(run.streamId);
  if (run.stopped || Failed(failure)) {
    ClearGroup(group);
    if (run.counted != 0) (void)context.manager.OnTaskEvent(*this, TaskEvent::kRollback, run.counted, 0);
    if (run.stopped || failure == HR_TASK_STOPPED) return Step::kStopped;
    if (++streamFailures < kMaxStreamFailures) return Step::kNext;
    error = failure;
    return Step::kFailed;
  }
  return VerifyGroup(context, run, serviceMd5, error);
}

HRESULT FileTask::StartBlockCall(GroupRun& run, InFlight& op) {
  IDataStoreRemote* service = ServiceRemote();
  IDataStoreRemote* local = (IsUpload() ? Family().SourceStore() : Family().TargetStore())->Remote();
  const BlockSpan span = SpanOf(op.block);
  const std::uint32_t sequence = op.block - run.firstBlock;
  std::uint8_t* data = run.bytes.data() + (span.wireOffset - run.start);
  HRESULT hr = S_OK;
  if (op.stage == 1 && IsUpload() && span.plainLength == 0) {
    // An encrypted empty file is header and digest alone: nothing to read.
    if (Failed(hr = PlaceBlock(run, span, nullptr))) return hr;
    op.stage = 2;
  }
  if (op.stage == 1) {
    const auto low = static_cast<std::uint32_t>(span.plainOffset);
    const auto high = static_cast<std::uint32_t>(span.plainOffset >> 32);
    hr = IsUpload() ? local->ReadItem(source_, low, high, span.plainLength, &op.call)
                    : service->ReadChunk(source_, run.streamId, sequence, span.wireOffset, span.wireLength, &op.call);
  } else if (IsUpload()) {
    hr = service->WriteChunk(target_, data, run.streamId, sequence, span.wireOffset, span.wireLength, &op.call);
  } else {
    auto copy = std::make_unique<std::uint8_t[]>(span.wireLength);
    std::memcpy(copy.get(), data, span.wireLength);
    hr = local->WriteItem(target_, std::move(copy), static_cast<std::uint32_t>(span.wireOffset),
                          static_cast<std::uint32_t>(span.wireOffset >> 32), span.wireLength, &op.call);
  }
  return Succeeded(hr) && op.call == nullptr ? E_UNEXPECTED : hr;
}

HRESULT FileTask::PlaceBlock(GroupRun& run, const BlockSpan& span, const std::uint8_t* plain) {
  std::uint8_t* at = run.bytes.data() + (span.wireOffset - run.start);
  if (cryptMode_ != 1 || !IsUpload()) {
    std::memcpy(at, plain, span.wireLength);
    return S_OK;
  }
  std::vector<std::uint8_t> encoded;
  const HRESULT hr = encoder_->EncodeBlock(span.wireOffset / kBlockSize, std::span(plain, span.plainLength), encoded);
  if (Failed(hr)) return hr;
  if (encoded.size() != span.wireLength) return E_UNEXPECTED;
  std::memcpy(at, encoded.data(), encoded.size());
  return S_OK;
}

HRESULT FileTask::MoveBlocks(TaskRunContext& context, GroupRun& run) {
  // Each block is read from its source, then written to its target; up to
  // kMaxInFlight blocks are under way at once, one when encrypting (the
  // encoder is keyed afresh for every block, in order).
  const std::size_t maxInFlight = Family().HasPassword() ? 1 : kMaxInFlight;
  std::vector<InFlight> inFlight;
  std::uint32_t next = run.firstBlock;
  HRESULT failure = S_OK;
  while (Succeeded(failure) && (next < run.endBlock || !inFlight.empty())) {
    while (Succeeded(failure) && next < run.endBlock && inFlight.size() < maxInFlight) {
      InFlight op{next, 1, nullptr};
      if (Succeeded(failure = StartBlockCall(run, op))) inFlight.push_back(op), ++next;
    }
    if (Failed(failure)) break;
    std::vector<Event*> events{&context.stop};
    for (const InFlight& op : inFlight) events.push_back(&op.call->GetEvent());
    const int which = WaitAny(events, 10000);
    if (which == kWaitTimeout) continue;
    if (which == 0) break;
    InFlight& op = inFlight[static_cast<std::size_t>(which - 1)];
    const BlockSpan span = SpanOf(op.block);
    {
      AwaitedResult finished(std::exchange(op.call, nullptr), false);
      if (failure = finished.Status(); Failed(failure)) break;
      if (op.stage == 1) {
        auto payload = finished.Take<ReadBufferPayload>();
        const std::unique_ptr<std::uint8_t[]> data(payload ? boost::get<1>(*payload) : nullptr);
        if (!data) {
          failure = E_UNEXPECTED;
          break;
        }
        if (failure = PlaceBlock(run, span, data.get()); Failed(failure)) break;
      }
    }
    if (op.stage++ == 1) {
      failure = StartBlockCall(run, op);
      continue;
    }
    SetBlock(op.block, true);
    // Progress counts the user's bytes, not the header.
    run.counted += span.plainLength;
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, span.plainLength, 0);
    inFlight.erase(inFlight.begin() + (which - 1));
  }
  run.stopped = IsStopped(context.stop) && Succeeded(failure) && (next < run.endBlock || !inFlight.empty());
  for (InFlight& op : inFlight) {
    if (op.call == nullptr) continue;
    // A call that completed before the cancel holds a buffer nobody took.
    if (op.call->CancelCall()) op.call->Release();
    else AwaitedResult abandoned(op.call, false);
  }
  return failure;
}

FileTask::Step FileTask::VerifyGroup(TaskRunContext& context, const GroupRun& run, const std::string& serviceMd5,
                                     HRESULT& error) {
  std::string localMd5;
  (void)CryptoAPI::HashBuffer(run.bytes.data(), run.bytes.size(), kHashMd5, localMd5);
  if (EqualsIgnoringCase(serviceMd5, localMd5)) return Step::kNext;
  LogMgr::Get().Trace(kCategory, "File Task Context : %p,第%u组校验失败,服务器md5:%s -- 本地md5:%s",
                      static_cast<void*>(this), run.group, serviceMd5.c_str(), localMd5.c_str());
  ClearGroup(run.group);
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kRollback, run.counted, 0);
  if (++verifyFailures_[run.group] < kMaxGroupVerifyFailures) return Step::kNext;
  // Sending the group yet again would loop for ever; the user decides.
  error = HR_GROUP_VERIFY_FAILED;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error), 1);
  verifyFailures_.erase(run.group);
  context.stop.Set();
  return Step::kStopped;
}

HRESULT FileTask::CloseGroupStream(TaskRunContext& context, const std::string& streamId, std::string& md5) {
  AsyncResult* call = nullptr;
  if (const HRESULT hr = ServiceRemote()->CloseStream(ServiceItem(), streamId, &call); Failed(hr)) return hr;
  if (call == nullptr) return E_UNEXPECTED;
  if (!AwaitCall(call, context.stop)) return HR_TASK_STOPPED;
  AwaitedResult closed(call, false);
  auto payload = closed.Take<CloseStreamPayload>();
  if (Failed(closed.Status())) return closed.Status();
  if (!payload) return E_UNEXPECTED;
  md5 = boost::get<2>(*payload);
  return S_OK;
}

void FileTask::CloseStreamQuietly(const std::string& streamId) {
  // Nobody waits for it: a stream left open only holds a slot on the service
  // until it times out there.
  AsyncResult* call = nullptr;
  if (Succeeded(ServiceRemote()->CloseStream(ServiceItem(), streamId, &call)) && call != nullptr) call->Release();
}

void FileTask::Finish(TaskRunContext&) {
  if (phase_ != 4) return;
  for (std::uint32_t group = 0; group < doneBlocks_.size(); ++group) {
    const std::uint32_t blocks = std::min(kBlocksPerGroup, blockCount_ - group * kBlocksPerGroup);
    const std::uint32_t full = blocks == 32 ? ~0u : ((1u << blocks) - 1);
    if (doneBlocks_[group] != full) ClearGroup(group);
  }
}

FileTask::Step FileTask::Complete(TaskRunContext& context, HRESULT& error) {
  const auto target = Family().TargetStore();
  AsyncResult* call = nullptr;
  if (error = target->Remote()->CompleteItem(target_, TakeOverwriteFlag(), &call); Failed(error))
    return Step::kFailed;
  if (call != nullptr) {
    if (!AwaitCall(call, context.stop)) return Step::kStopped;
    if (error = target->FinishCompleteItem(target_, call); Failed(error)) return Step::kFailed;
  }
  ReportTransfer();
  (void)context.manager.Store().DeleteTask(Family().Id(), Id());
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
  return Step::kNext;
}

void FileTask::ReportTransfer() {
  const ItemInfo& item = IsUpload() ? target_ : source_;
  const std::uint64_t now = FileTimeNow();
  const std::uint64_t elapsed = transferStart_ != 0 && now > transferStart_ ? now - transferStart_ : 0;
  AsyncResult* call = nullptr;
  const HRESULT hr = ServiceRemote()->ReportTransfer(static_cast<std::uint32_t>(Family().Direction()), streamFailures,
                                                     item.name, fileSize_, IsUpload() ? IdOf(parent_.tag) : 0,
                                                     IdOf(item.tag), elapsed, ServiceToken(), &call);
  if (Succeeded(hr) && call != nullptr) call->Release();
}

bool FileTask::RunCancel(TaskRunContext& context) {
  if (IsStopped(context.stop)) return false;
  if (phase_ >= 2) {
    const auto target = Family().TargetStore();
    AsyncResult* call = nullptr;
    if (Succeeded(target->Remote()->DeleteItem(target_, &call)) && call != nullptr) {
      if (!AwaitCall(call, context.stop)) return false;
      (void)target->FinishDeleteItem(target_, call);
    }
  }
  (void)context.manager.Store().DeleteTask(Family().Id(), Id());
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
  return true;
}

TaskRecord FileTask::Record() const {
  FileTaskRecord record;
  record.familyId = Family().Id();
  record.taskId = Id();
  record.fileSize = fileSize_;
  record.fileTime = fileTime_;
  record.source = Stored(source_.uri, source_.tag);
  record.targetParent = Stored(parent_.uri, parent_.tag);
  record.target = Stored(target_.uri, target_.tag);
  record.phase = phase_;
  record.transferToken = ServiceToken();
  record.blockCount = blockCount_;
  record.blockSize = kBlockSize;
  record.doneBlocks = doneBlocks_;
  return record;
}

}  // namespace korvex
