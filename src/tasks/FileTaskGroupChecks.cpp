//===- tasks/FileTaskGroupChecks.cpp - Settling and giving up groups ----===//
//
// The end of a group's road in a file task: its MD5 made (two at once where
// two are due), compared with the service's, the verified bytes written, and
// a failed group given up so that the next pass does it again.
//
//===----------------------------------------------------------------------===//

#include "foundation/CryptoAPI.h"
#include "foundation/LogMgr.h"
#include "foundation/Md5Lanes.h"
#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/FileTaskGroups.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskManager.h"

namespace korvex {

using namespace file_task_groups;

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
