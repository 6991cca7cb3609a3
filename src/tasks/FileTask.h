//===- tasks/FileTask.h - Moves one file between two stores -----*- C++ -*-===//
///
/// An upload reads a local file through the local store and writes it to the
/// service; a download does the reverse. The file moves in blocks of 32 KiB,
/// 32 blocks to a group; each group travels over one service stream and is
/// verified against the MD5 the service gives when the stream closes. The
/// bitmap of done blocks is saved with the task, so a restarted transfer
/// sends again only the groups it had not finished.
///
///   0 prepare --> 1 create target --> 2 ready --> 4 transfer --> 3 complete --> (done)
///   (open source)   (saved)                       (stream loop)    (saved bitmap kept)
///
/// A restart keeps phases 2, 4 and 3 with their bitmap; 0 and 1 start over.
/// A file of one group is saved only as queued (phase 0) and starts over.
/// A download that lost its transfer token starts over at phase 0.
///
/// Crypt modes: 0 plain; 1 the upload is encrypted on the way into the
/// ".lock" format (the service's copy is 20 bytes longer than the local
/// file, blocks and groups count in its bytes, one block in flight); 2 the
/// file already is in that format and moves unchanged. The mode is not
/// stored: it follows from the family's password and the ".lock" names.
///
/// An upload stores the bytes of one version of its file or nothing: the
/// file's size and last-write time are compared with those the task started
/// from when it resumes and after its last group; a file that changed is
/// sent again from its first group under a new preparation, and one that
/// keeps changing stops the family ("FILE changed while it was being
/// uploaded"). A download writes under a name of its own (recorded with the
/// task) and never touches a file of the user's beside its target.
///
/// Errors go to the manager (OnTaskEvent); its answer stops the family,
/// skips the file (also when the error is final for it, as for an empty
/// file, which the service does not store: the family's options then list
/// it with its error) or retries the step after a pause. A group that fails on
/// the stream is sent again, at most 10 times in all before the failure is
/// reported; a group whose MD5 disagrees 10 times stops the family instead of
/// being sent again forever.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/ObjectInfo.h"
#include "tasks/Task.h"
#include "tasks/WholeFileMd5.h"

namespace korvex {

class AsyncResult;
class DataStore;
class EncryptingBlockEncoder;
class IDataStoreRemote;

/// A group whose MD5 kept disagreeing with the service's.
inline constexpr HRESULT HR_GROUP_VERIFY_FAILED = MakeHResult(0x80071F44u);
/// A file that kept changing while it was uploaded; its text names the file.
inline constexpr HRESULT HR_SOURCE_CHANGED = MakeHResult(0x80071F45u);
/// A downloaded file whose MD5 is not the one the service announced.
inline constexpr HRESULT HR_FILE_VERIFY_FAILED = MakeHResult(0x80071F47u);

class FileTask : public Task {
 public:
  static constexpr std::uint32_t kBlockSize = 32768;
  static constexpr std::uint32_t kBlocksPerGroup = 32;
  static constexpr std::uint32_t kMaxInFlight = 5;
  static constexpr std::uint32_t kMaxStreamFailures = 10;
  static constexpr std::uint32_t kMaxGroupVerifyFailures = 10;
  /// New starts of an upload whose file changed, before the family stops.
  static constexpr std::uint32_t kMaxSourceChanges = 3;

  /// A new task: `source` is the file read, `targetParent` the folder that
  /// receives it under `source.name`, with ".lock" appended when the file is
  /// (or is to be) encrypted and its name lacks it.
  FileTask(std::uint32_t id, TaskFamily& family, const ItemInfo& source, const ContainerInfo& targetParent);
  /// A task read back from the task store.
  FileTask(TaskFamily& family, const FileTaskRecord& record);
  ~FileTask() override;

  [[nodiscard]] bool Run(TaskRunContext& context) override;
  [[nodiscard]] bool RunCancel(TaskRunContext& context) override;
  void Finish(TaskRunContext& context) override;
  [[nodiscard]] TaskRecord Record() const override;
  [[nodiscard]] std::uint64_t FileSize() const override { return fileSize_; }

  /// Prepares this queued task and starts creating its target while the
  /// task before it is still streaming, so that a folder of small files does
  /// not wait for one preparation per file. Called by the running task of
  /// the same family on its executor thread; does nothing unless this task
  /// is at its start. A failure is left for the task's own turn to meet
  /// again and report.
  void PrepareAhead(TaskRunContext& context);

  [[nodiscard]] std::uint32_t Phase() const noexcept { return phase_; }
  [[nodiscard]] std::uint32_t CryptMode() const noexcept { return cryptMode_; }

 private:
  struct GroupRun;
  struct GroupPipeline;
  /// Where one block lies on the wire (the service's bytes) and in the
  /// plain file; the two differ only when encrypting.
  struct BlockSpan {
    std::uint64_t wireOffset = 0;
    std::uint32_t wireLength = 0;
    std::uint64_t plainOffset = 0;
    std::uint32_t plainLength = 0;
  };
  /// What one step of Run ends with.
  enum class Step { kNext, kFailed, kStopped };

  [[nodiscard]] bool IsUpload() const;
  [[nodiscard]] IDataStoreRemote* ServiceRemote() const;
  [[nodiscard]] ItemInfo& ServiceItem() { return IsUpload() ? target_ : source_; }
  [[nodiscard]] std::string ServiceToken() const;
  [[nodiscard]] std::uint32_t TakeOverwriteFlag() const;
  /// Sets the crypt mode and marks the target protected; with `renameTarget`
  /// the target's name gets its ".lock".
  void DeriveCryptMode(bool renameTarget);
  [[nodiscard]] HRESULT PrepareEncoder();
  /// The bytes the service holds: the file, plus the header when encrypting.
  [[nodiscard]] std::uint64_t WireSize() const { return fileSize_ + headerSize_; }
  /// A file of at most one group is not saved between its queued record and
  /// its end: a restart prepares it again (the service replaces the caller's
  /// own unfinished upload of a name, a download's partial file is made
  /// afresh) and sends at most that group again, as it does for the group
  /// under way of any file. What is stored thus never claims more than the
  /// service holds, and a folder of small files is spared two synchronous
  /// writes per file.
  [[nodiscard]] bool FitsOneGroup() const { return WireSize() <= std::uint64_t{kBlockSize} * kBlocksPerGroup; }
  [[nodiscard]] BlockSpan SpanOf(std::uint32_t block) const;

  [[nodiscard]] Step Prepare(TaskRunContext& context, HRESULT& error);
  [[nodiscard]] Step CreateTarget(TaskRunContext& context, HRESULT& error);
  /// Sends the target's creation with the overwrite flag the family's answer
  /// gives now; `call` may stay null when the store answered at once.
  [[nodiscard]] HRESULT StartCreateTarget(AsyncResult*& call, std::uint32_t& overwrite);
  /// The creation started ahead, when there is one still fresh enough to use.
  [[nodiscard]] bool TakeAheadCreate(AsyncResult*& call, std::uint32_t& overwrite);
  /// Starts the next queued file's preparation, once its turn is near.
  void PrepareNextAhead(TaskRunContext& context);
  void DropAheadCreate();
  [[nodiscard]] Step Transfer(TaskRunContext& context, HRESULT& error);
  [[nodiscard]] Step RunPipeline(TaskRunContext& context, GroupPipeline& pipeline, HRESULT& error);
  /// Drops the settled groups from the front and saves the bitmap.
  void SettleFront(TaskRunContext& context, GroupPipeline& pipeline);
  /// Starts the next groups with clear bits until enough are under way.
  [[nodiscard]] HRESULT FillPipeline(GroupPipeline& pipeline);
  /// For an upload, starts reading the group's bytes.
  [[nodiscard]] HRESULT StartGroup(GroupRun& run);
  /// Takes the group's plain bytes (null when there are none), encrypted
  /// when the mode asks for it.
  [[nodiscard]] HRESULT OnBytesRead(GroupRun& run, std::uint8_t* plain);
  /// The group's bytes are complete: they may go, and are to be hashed.
  [[nodiscard]] HRESULT Loaded(GroupRun& run);
  /// Opens the group's stream, once.
  [[nodiscard]] HRESULT OpenGroupStream(GroupRun& run);
  /// Block operations on the wire at once: one when encrypting.
  [[nodiscard]] std::uint32_t BlockWindow() const;
  /// Starts the group's blocks once its stream is open and its bytes are there.
  [[nodiscard]] HRESULT StartMoving(GroupRun& run);
  [[nodiscard]] HRESULT StartBlocks(GroupRun& run);
  /// Whether the group's blocks lie on the wire as whole chunks one after
  /// the other, so that one call of the service store can move them all.
  [[nodiscard]] bool WireIsChunked(const GroupRun& run) const;
  /// Hands every block of the group to one call; E_NOTIMPL when the
  /// service store has none, and the blocks go one call each.
  [[nodiscard]] HRESULT StartGroupCall(GroupRun& run);
  /// Passes on the progress of the group's blocks that its call has moved.
  void ReportMoved(TaskRunContext& context, GroupRun& run);
  /// Waits for any call of the pipeline (with `opensOnly`, any stream
  /// open) or the stop event: 0 for the stop event, kWaitTimeout, or a
  /// positive number with `run` and `call` set.
  [[nodiscard]] int WaitForCall(TaskRunContext& context, GroupPipeline& pipeline, bool opensOnly, GroupRun*& run,
                                AsyncResult**& call, std::int64_t timeoutMs);
  /// The first group whose bytes are whole and whose MD5 is still to be
  /// made, or null.
  [[nodiscard]] GroupRun* FirstUnhashed(GroupPipeline& pipeline) const;
  /// Makes the group's MD5 unless it is made already; an upload's
  /// `partner`, a later group due too, is hashed in the same pass.
  [[nodiscard]] HRESULT HashGroup(GroupRun& run, GroupRun* partner = nullptr);
  [[nodiscard]] bool DueForHash(const GroupRun& run) const;
  /// The first group after `after` whose MD5 is due, or null.
  [[nodiscard]] GroupRun* NextUnhashed(GroupPipeline& pipeline, const GroupRun& after) const;
  /// True while a group's stream open is under way.
  [[nodiscard]] static bool IsOpening(const GroupPipeline& pipeline);
  [[nodiscard]] HRESULT OnStreamOpened(GroupRun& run);
  /// Takes the answer of `call`, one of the group's calls.
  [[nodiscard]] HRESULT OnCallDone(TaskRunContext& context, GroupRun& run, AsyncResult*& call);
  /// Closes the group's stream once its last block is done.
  [[nodiscard]] HRESULT CloseGroup(GroupRun& run);
  /// Compares the service's MD5 of the group with the local one.
  [[nodiscard]] HRESULT OnGroupClosed(GroupRun& run, const std::string& serviceMd5);
  [[nodiscard]] Step OnGroupFailed(TaskRunContext& context, std::uint32_t group, HRESULT failure, HRESULT& error);
  /// Cancels what the unsettled groups still wait for and takes their
  /// progress back; the next pass sends them again.
  void Abandon(TaskRunContext& context, GroupPipeline& pipeline);
  void CloseStreamQuietly(const std::string& streamId);
  [[nodiscard]] Step Complete(TaskRunContext& context, HRESULT& error);
  /// A refused transfer token, or a partial download that vanished: the
  /// transfer is prepared again, once per run of the task. A download keeps
  /// its verified groups and only fetches a new token, unless its partial
  /// file is gone; an upload starts a new file on the service, which keeps
  /// nothing of the old one. True when the task goes on without `error`
  /// being reported.
  [[nodiscard]] bool PrepareAgain(TaskRunContext& context, HRESULT error);
  /// The target's name is taken and the user chose to keep both: the
  /// target takes the next numbered name. True when the task goes on
  /// without `error` being reported.
  [[nodiscard]] bool KeepBoth(HRESULT error);
  /// After the target was created or completed under a numbered name, an
  /// answer for this conflict only is used up.
  void UseUpKeepBothOnce();
  /// The user's bytes of the blocks marked done.
  [[nodiscard]] std::uint64_t DoneBytes() const;
  /// For an upload: compares the file with the size and time the task
  /// started from. kNext when unchanged; when changed, the task goes back to
  /// phase 0 (kStopped once it changed too often, the family then stops).
  [[nodiscard]] Step CheckSource(TaskRunContext& context, HRESULT& error, bool& changed);
  /// Takes back the progress of the done blocks and starts over at phase 0.
  void StartOver(TaskRunContext& context);
  /// For a download whose preparation gave the file's MD5: the finished
  /// partial file must have it. On a mismatch the partial file is removed,
  /// the task starts over and the family stops with the reason.
  [[nodiscard]] Step VerifyDownload(TaskRunContext& context, HRESULT& error);
  /// Feeds the file's bytes from what the whole-file digest holds up to
  /// `end` into it, read back from the partial file.
  [[nodiscard]] HRESULT HashFileUpTo(TaskRunContext& context, std::uint64_t end);
  /// Before a download's groups move: the digest holds the groups done by
  /// an earlier run, so that this run's groups can follow on in memory.
  [[nodiscard]] Step CatchUpFileMd5(TaskRunContext& context, HRESULT& error);
  /// Gives the task up for good: the family's options list it with `error`.
  void GiveUp(TaskRunContext& context, HRESULT error);
  /// Hands a failed step to the manager. True when the task is finished
  /// (skipped), false when Run should go on or return (stop event set).
  [[nodiscard]] bool HandleError(TaskRunContext& context, HRESULT error, std::uint32_t pauseMs);

  /// Tells the service about the finished file; nobody waits for the answer.
  void ReportTransfer();
  void SetGroup(std::uint32_t group);
  void ClearGroup(std::uint32_t group);
  /// Clears every group that is not wholly done: only whole groups verify.
  void ClearUnfinishedGroups();
  [[nodiscard]] std::uint64_t GroupBytes(std::uint32_t group) const;
  void SizeBitmap();

  std::uint64_t fileSize_ = 0;
  std::uint64_t fileTime_ = 0;
  ItemInfo source_;
  ContainerInfo parent_;
  ItemInfo target_;
  std::uint32_t phase_ = 0;
  std::uint32_t cryptMode_ = 0;
  std::uint32_t headerSize_ = 0;
  /// Made when an encrypting transfer phase begins; holds the password.
  std::unique_ptr<EncryptingBlockEncoder> encoder_;
  std::uint32_t blockCount_ = 0;
  std::vector<std::uint32_t> doneBlocks_;
  /// Failed MD5 checks per group, in this run of the process.
  std::map<std::uint32_t, std::uint32_t> verifyFailures_;
  /// The transfer was prepared again in this run: a second refusal is final.
  bool preparedAgain_ = false;
  /// Phase 0 only renews the download's token and goes back to phase 4.
  bool renewTokenOnly_ = false;
  /// The user let this task replace the existing target: completing it
  /// replaces too, also when the answer was for this file only.
  bool overwriteGranted_ = false;
  /// Numbered names tried in this run, and the name they are made from.
  int keepBothTries_ = 0;
  std::string keepBothBase_;
  /// FILETIME at which this run's transfer phase began.
  std::uint64_t transferStart_ = 0;
  /// New starts because the file changed, in this run of the process.
  std::uint32_t sourceChanges_ = 0;
  /// The whole file's MD5 as the download's preparation gave it; empty when
  /// it gave none (or the task was read back after its preparation).
  std::string expectedMd5_;
  /// The download's MD5 so far, for the check against expectedMd5_.
  WholeFileMd5 fileMd5_;
  /// The target's creation started by PrepareAhead: the call (null when the
  /// store answered at once), the flag it went with and when it was sent.
  bool aheadStarted_ = false;
  AsyncResult* aheadCall_ = nullptr;
  std::uint32_t aheadOverwrite_ = 0;
  std::chrono::steady_clock::time_point aheadSince_;
  /// The next file was prepared ahead in this transfer phase.
  bool preparedNext_ = false;
};

}  // namespace korvex
