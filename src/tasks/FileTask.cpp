#include "tasks/FileTask.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <span>
#include <utility>

#include "foundation/CryptoAPI.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "foundation/LogMgr.h"
#include "foundation/Md5.h"
#include "platform/FileTime.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "store/LocalFileSystem.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/StoreCall.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "FileTask::ExcuteStream";
// The service does not store empty files ("The uploaded file could not be null").
constexpr HRESULT kEmptyUpload = MakeHResult(0x80070BCCu);
// The partial file of downloads before it had a name of its own.
constexpr std::string_view kOldPartialSuffix = ".tmp";

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

// The "md5" of a download preparation's answer (a JSON object), when it
// holds 32 hexadecimal digits.
std::string AnnouncedMd5(std::string_view answer) {
  const std::size_t key = answer.find("\"md5\"");
  if (key == std::string_view::npos) return {};
  std::size_t at = answer.find_first_not_of(" \t\r\n:", key + 5);
  if (at == std::string_view::npos || answer[at] != '"') return {};
  const std::size_t end = answer.find('"', at + 1);
  if (end == std::string_view::npos || end - at - 1 != 32) return {};
  const std::string_view md5 = answer.substr(at + 1, 32);
  if (md5.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) return {};
  return std::string(md5);
}

bool HasLockName(std::string_view name) {
  return name.size() >= kLockSuffix.size() && EqualsIgnoringCase(name.substr(name.size() - kLockSuffix.size()), kLockSuffix);
}

StoredObject Stored(const std::string& uri, const boost::any& tag) { return {uri, IdOf(tag)}; }

}  // namespace

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
  if (!IsUpload()) target_.reserved = localfs::PartialFileName(target_.name, id);
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
  if (IsUpload()) return;
  target_.reserved = record.partialName;
  // A record without the name was written when the partial file was the
  // target's name plus ".tmp"; an unstarted one takes a name of its own.
  if (target_.reserved.empty())
    target_.reserved = phase_ >= 2 ? target_.name + std::string(kOldPartialSuffix)
                                   : localfs::PartialFileName(target_.name, record.taskId);
}

FileTask::~FileTask() { DropAheadCreate(); }

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
        // Complete may have sent the task back to phase 0 (the file changed).
        if (step == Step::kNext && phase_ == 3) return true;
        break;
      default: phase_ = 0; break;
    }
    if (step == Step::kStopped) return false;
    if (step == Step::kFailed && KeepBoth(error)) continue;
    if (step == Step::kFailed && PrepareAgain(context, error)) continue;
    if (step == Step::kFailed && HandleError(context, error, phase == 0 ? 1000 : 200)) return true;
  }
  return false;
}

bool FileTask::HandleError(TaskRunContext& context, HRESULT error, std::uint32_t pauseMs) {
  const std::uint32_t conflictAnswer = Family().conflictAnswer.load();
  const TaskEventAnswer answer = context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error),
                                                             1, DataStore::LastErrorMessage());
  if (error == kEmptyUpload) {
    // The file cannot be stored and is left out, the rest goes on. The
    // answer the rules leave behind (pass the next error) would also undo
    // the user's overwrite answer for every file after this one.
    Family().conflictAnswer = conflictAnswer;
    GiveUp(context, error);
    return true;
  }
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
    if (auto payload = opened.Take<OpenItemPayload>(); payload && !boost::get<1>(*payload).empty()) {
      const boost::any& value = boost::get<1>(*payload);
      if (const auto* stamp = boost::any_cast<LocalFileStamp>(&value)) {
        // Nothing is prepared yet: the upload is of the file as it is now,
        // and the family's total counts it so (a file that shrank would end
        // "completed" short of its total).
        if (const auto total = Family().Progress().totalBytes; total && stamp->size != fileSize_)
          Family().SetTotalBytes(*total - std::min(*total, fileSize_) + stamp->size);
        fileSize_ = source_.size = stamp->size;
        fileTime_ = source_.modifyTime = stamp->modifyTime;
      } else {
        source_.extraTag = value;
        if (!IsUpload()) expectedMd5_ = AnnouncedMd5(boost::get<2>(*payload));
      }
    }
  }
  phase_ = renewTokenOnly_ ? 4 : 1;
  if (std::exchange(renewTokenOnly_, false)) (void)context.manager.Store().SaveTask(*this);
  return Step::kNext;
}

FileTask::Step FileTask::CheckSource(TaskRunContext& context, HRESULT& error, bool& changed) {
  changed = false;
  if (!IsUpload()) return Step::kNext;
  AsyncResult* call = nullptr;
  if (error = Family().SourceStore()->Remote()->OpenItem(source_, false, &call); Failed(error)) return Step::kFailed;
  if (call == nullptr) return Step::kNext;
  if (!AwaitCall(call, context.stop)) return Step::kStopped;
  AwaitedResult opened(call, false);
  if (error = opened.Status(); Failed(error)) return Step::kFailed;
  const auto payload = opened.Take<OpenItemPayload>();
  const auto* stamp = payload ? boost::any_cast<LocalFileStamp>(&boost::get<1>(*payload)) : nullptr;
  if (stamp == nullptr || (stamp->size == fileSize_ && stamp->modifyTime == fileTime_)) return Step::kNext;
  changed = true;
  LogMgr::Get().Info(kCategory, "%s changed while it was being uploaded (%llu bytes, now %llu)", source_.uri.c_str(),
                     static_cast<unsigned long long>(fileSize_), static_cast<unsigned long long>(stamp->size));
  if (++sourceChanges_ <= kMaxSourceChanges) {
    StartOver(context);
    return Step::kNext;
  }
  // Sending it again and again would never end; the user decides. The
  // report comes last: every event clears the family's last error.
  StartOver(context);
  sourceChanges_ = 0;
  error = HR_SOURCE_CHANGED;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error), 1,
                                    source_.uri + " changed while it was being uploaded");
  context.stop.Set();
  return Step::kStopped;
}

void FileTask::StartOver(TaskRunContext& context) {
  std::uint64_t counted = 0;
  for (std::uint32_t block = 0; block < blockCount_; ++block)
    if ((doneBlocks_[block / 32] >> (block % 32)) & 1u) counted += SpanOf(block).plainLength;
  if (counted != 0) (void)context.manager.OnTaskEvent(*this, TaskEvent::kRollback, counted, 0);
  // A new preparation: the service's partial copy of the old version is
  // replaced by it, and no group of the old version counts.
  phase_ = 0;
  std::fill(doneBlocks_.begin(), doneBlocks_.end(), 0u);
  fileMd5_.Reset();
  (void)context.manager.Store().SaveTask(*this);
}

FileTask::Step FileTask::VerifyDownload(TaskRunContext& context, HRESULT& error) {
  // An encrypted file is stored as it is on the service: its MD5 holds too.
  if (IsUpload() || expectedMd5_.empty()) return Step::kNext;
  std::string md5;
  if (error = HashFileUpTo(context, fileSize_); error == HR_TASK_STOPPED) return Step::kStopped;
  if (Succeeded(error)) error = fileMd5_.Finish(md5);
  if (Failed(error)) return Step::kFailed;
  if (EqualsIgnoringCase(md5, expectedMd5_)) return Step::kNext;
  LogMgr::Get().Error(kCategory, "%s: MD5 %s, the service announced %s", target_.uri.c_str(), md5.c_str(),
                      expectedMd5_.c_str());
  // The partial file is not the service's file: it goes, and a resumed task
  // fetches the file afresh.
  const auto target = Family().TargetStore();
  AsyncResult* call = nullptr;
  if (Succeeded(target->Remote()->DeleteItem(target_, &call)) && call != nullptr && AwaitCall(call, context.stop))
    AwaitedResult deleted(call, false);
  StartOver(context);
  expectedMd5_.clear();
  error = HR_FILE_VERIFY_FAILED;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error), 1,
                                    source_.uri + ": the downloaded file does not match the service's MD5; it was removed");
  context.stop.Set();
  return Step::kStopped;
}

FileTask::Step FileTask::CatchUpFileMd5(TaskRunContext& context, HRESULT& error) {
  if (IsUpload() || expectedMd5_.empty()) return Step::kNext;
  std::uint64_t doneEnd = 0;
  for (std::uint32_t group = 0; group < doneBlocks_.size() && doneBlocks_[group] != 0; ++group)
    doneEnd += GroupBytes(group);
  fileMd5_.Forget(doneEnd);
  if (error = HashFileUpTo(context, doneEnd); error == HR_TASK_STOPPED) return Step::kStopped;
  return Failed(error) ? Step::kFailed : Step::kNext;
}

HRESULT FileTask::HashFileUpTo(TaskRunContext& context, std::uint64_t end) {
  constexpr std::uint32_t kSlice = kBlockSize * kBlocksPerGroup;
  IDataStoreRemote* local = Family().TargetStore()->Remote();
  for (std::uint64_t offset = fileMd5_.Hashed(); offset < end; offset = fileMd5_.Hashed()) {
    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kSlice, end - offset));
    AsyncResult* call = nullptr;
    if (const HRESULT hr = local->ReadItem(target_, static_cast<std::uint32_t>(offset),
                                           static_cast<std::uint32_t>(offset >> 32), length, &call);
        Failed(hr))
      return hr;
    if (call == nullptr) return E_UNEXPECTED;
    if (!AwaitCall(call, context.stop)) return HR_TASK_STOPPED;
    AwaitedResult read(call, false);
    if (Failed(read.Status())) return read.Status();
    auto payload = read.Take<ReadBufferPayload>();
    const std::unique_ptr<std::uint8_t[]> bytes(payload ? boost::get<1>(*payload) : nullptr);
    if (!bytes) return E_UNEXPECTED;
    if (const HRESULT hr = fileMd5_.Feed(offset, bytes.get(), length, fileSize_, {}); Failed(hr)) return hr;
  }
  return S_OK;
}

void FileTask::GiveUp(TaskRunContext& context, HRESULT error) {
  RecordFailedTask(Family(), *this, error, {});
  (void)context.manager.Store().SaveFamily(Family());
  (void)context.manager.Store().DeleteTask(Family().Id(), Id());
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
}

FileTask::Step FileTask::CreateTarget(TaskRunContext& context, HRESULT& error) {
  const auto target = Family().TargetStore();
  AsyncResult* call = nullptr;
  std::uint32_t overwrite = 0;
  if (!TakeAheadCreate(call, overwrite)) {
    if (error = StartCreateTarget(call, overwrite); Failed(error)) return Step::kFailed;
  }
  overwriteGranted_ = overwrite != 0;
  if (call != nullptr) {
    if (!AwaitCall(call, context.stop)) return Step::kStopped;
    if (error = target->FinishCreateItem(parent_, target_, call); Failed(error)) return Step::kFailed;
  }
  UseUpKeepBothOnce();
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kTargetCreated, 0, 0);
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, 0, 0);
  SizeBitmap();
  phase_ = 2;
  if (!FitsOneGroup()) (void)context.manager.Store().SaveTask(*this);
  return Step::kNext;
}

void FileTask::Finish(TaskRunContext&) {
  if (phase_ == 4) ClearUnfinishedGroups();
}

FileTask::Step FileTask::Complete(TaskRunContext& context, HRESULT& error) {
  // The groups went up one after another: only an unchanged file makes them
  // the bytes of one version.
  bool changed = false;
  if (const Step step = CheckSource(context, error, changed); step != Step::kNext || changed) return step;
  if (const Step step = VerifyDownload(context, error); step != Step::kNext || phase_ != 3) return step;
  const auto target = Family().TargetStore();
  AsyncResult* call = nullptr;
  const std::uint32_t overwrite = TakeOverwriteFlag() != 0 || overwriteGranted_ ? 1 : 0;
  if (error = target->Remote()->CompleteItem(target_, overwrite, &call); Failed(error)) return Step::kFailed;
  if (call != nullptr) {
    if (!AwaitCall(call, context.stop)) return Step::kStopped;
    if (error = target->FinishCompleteItem(target_, call); Failed(error)) return Step::kFailed;
  }
  UseUpKeepBothOnce();
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
  // A target created ahead is the service's partial file: it goes too.
  if (aheadStarted_) {
    HRESULT error = S_OK;
    if (CreateTarget(context, error) == Step::kStopped) return false;
  }
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
  if (!IsUpload()) record.partialName = target_.reserved;
  return record;
}

}  // namespace korvex
