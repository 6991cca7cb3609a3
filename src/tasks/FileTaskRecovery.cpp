//===- tasks/FileTaskRecovery.cpp - Preparing a transfer again -----------===//
//
// A transfer token ends with the session that got it, or when the service
// lets it expire: a transfer stopped today and resumed tomorrow meets a
// refusal on its first chunk, and no retry of the dead token can succeed.
// A partial download deleted while the transfer was stopped cannot take
// its next group either. Both are recovered by preparing the transfer
// again, once; a second refusal in the same run goes to the error rules,
// which give the file up with its reason.
//
//===----------------------------------------------------------------------===//

#include "foundation/LogMgr.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/ConflictAnswers.h"
#include "tasks/FileTask.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "FileTask";
/// Anything but a confirmation of the upload-over request.
constexpr HRESULT HR_UPLOAD_NOT_CONFIRMED = MakeHResult(0x80071B5Au);

}  // namespace

std::uint64_t FileTask::DoneBytes() const {
  std::uint64_t bytes = 0;
  for (std::uint32_t block = 0; block < blockCount_; ++block) {
    if (block / 32 < doneBlocks_.size() && (doneBlocks_[block / 32] >> (block % 32) & 1u) != 0)
      bytes += SpanOf(block).plainLength;
  }
  return bytes;
}

bool FileTask::PrepareAgain(TaskRunContext& context, HRESULT error) {
  const bool refusedToken = error == HR_STREAM_TOKEN_REFUSED || error == HR_ILLEGAL_UPLOAD ||
                            (phase_ == 3 && IsUpload() && error == HR_UPLOAD_NOT_CONFIRMED);
  const bool partialGone = !IsUpload() && (error == HR_FILE_NOT_FOUND || error == HR_CANNOT_OPEN_FOR_WRITING) &&
                           (phase_ == 3 || phase_ == 4);
  // Before phase 2 the preparation itself is what failed.
  if (preparedAgain_ || phase_ < 2 || (!refusedToken && !partialGone)) return false;
  preparedAgain_ = true;
  LogMgr::Get().Info(kCategory, "Task %u: error 0x%08X, preparing the transfer again", Id(),
                     static_cast<std::uint32_t>(error));
  if (!IsUpload() && refusedToken) {
    // The local partial file holds the verified groups: a new token is
    // all the download needs.
    renewTokenOnly_ = true;
    phase_ = 0;
    return true;
  }
  // A new upload is a new file on the service, and a partial download
  // that is gone has lost its groups: either way every byte goes again.
  if (const std::uint64_t done = DoneBytes(); done != 0)
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kRollback, done, 0);
  std::fill(doneBlocks_.begin(), doneBlocks_.end(), 0u);
  streamFailures = 0;
  phase_ = IsUpload() ? 1 : 0;
  return true;
}

bool FileTask::KeepBoth(HRESULT error) {
  if (error != HR_ALREADY_EXISTS) return false;
  const std::uint32_t answer = Family().conflictAnswer.load();
  if (answer != kConflictKeepBothAll && answer != kConflictKeepBothOnce) return false;
  // An upload's name is fixed when the service prepared it; a clash when
  // completing it is asked about again. A download's partial file takes
  // any free name.
  if (phase_ != 1 && !(phase_ == 3 && !IsUpload())) return false;
  if (keepBothTries_ == 0) keepBothBase_ = target_.name;
  if (++keepBothTries_ >= kMaxNumberedNames) return false;
  target_.name = NumberedName(keepBothBase_, keepBothTries_ + 1);
  LogMgr::Get().Info(kCategory, "Task %u: the name is taken, trying \"%s\"", Id(), target_.name.c_str());
  return true;
}

void FileTask::UseUpKeepBothOnce() {
  if (keepBothTries_ == 0) return;
  keepBothTries_ = 0;
  std::uint32_t once = kConflictKeepBothOnce;
  Family().conflictAnswer.compare_exchange_strong(once, kConflictAsk);
}

}  // namespace korvex
