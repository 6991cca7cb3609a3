//===- tasks/FileTaskAhead.cpp - The next file prepared while one streams -===//
//
// A folder of small files spends most of its time between requests: each
// file's preparation and target creation would wait for the previous file's
// last answer. While a file's last group is on the wire, the next file of
// the family is prepared and its target's creation is sent; each file's own
// requests keep their order (creation, stream, completion), and the task
// takes the answer when its turn comes. Nothing of it is saved: a restart
// prepares the file again, and the service replaces the caller's own
// unfinished upload of a name.
//
//===----------------------------------------------------------------------===//

#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "tasks/FileTask.h"
#include "tasks/StoreCall.h"
#include "tasks/TaskFamily.h"

namespace korvex {
namespace {

/// A creation answered longer ago than this (the family was stopped in
/// between, say) is not trusted: its token may have expired and the user's
/// answers may have changed. The task sends it again.
constexpr std::chrono::seconds kAheadFreshFor{30};

}  // namespace

void FileTask::PrepareNextAhead(TaskRunContext& context) {
  if (std::exchange(preparedNext_, true)) return;
  Task* next = Family().NextQueued();
  if (next == nullptr || next->Type() != TaskType::kFile) return;
  static_cast<FileTask*>(next)->PrepareAhead(context);
}

void FileTask::PrepareAhead(TaskRunContext& context) {
  // An answer for one file only belongs to the file that meets the conflict
  // first; a cancelled family creates nothing.
  if (phase_ != 0 || aheadStarted_ || renewTokenOnly_ || Family().canceling != 0 || Family().conflictAnswer == 1)
    return;
  HRESULT error = S_OK;
  if (Prepare(context, error) != Step::kNext) {
    phase_ = 0;
    return;
  }
  AsyncResult* call = nullptr;
  std::uint32_t overwrite = 0;
  if (Failed(StartCreateTarget(call, overwrite))) return;
  aheadStarted_ = true;
  aheadCall_ = call;
  aheadOverwrite_ = overwrite;
  aheadSince_ = std::chrono::steady_clock::now();
}

HRESULT FileTask::StartCreateTarget(AsyncResult*& call, std::uint32_t& overwrite) {
  overwrite = TakeOverwriteFlag();
  target_.size = fileSize_;
  target_.modifyTime = fileTime_;
  call = nullptr;
  return Family().TargetStore()->Remote()->CreateItem(parent_, target_, overwrite, &call);
}

bool FileTask::TakeAheadCreate(AsyncResult*& call, std::uint32_t& overwrite) {
  if (!aheadStarted_) return false;
  if (std::chrono::steady_clock::now() - aheadSince_ > kAheadFreshFor) {
    DropAheadCreate();
    return false;
  }
  aheadStarted_ = false;
  call = std::exchange(aheadCall_, nullptr);
  overwrite = aheadOverwrite_;
  return true;
}

void FileTask::DropAheadCreate() {
  aheadStarted_ = false;
  AsyncResult* call = std::exchange(aheadCall_, nullptr);
  if (call == nullptr) return;
  // An answer that came before the cancel holds a payload nobody takes.
  if (!call->CancelCall() && call->State() == kAsyncSucceeded) DeletePayloadObjects(*call);
  call->Release();
}

}  // namespace korvex
