//===- sync/SyncDirectoryTask.h - Backs one local folder up -----*- C++ -*-===//
///
/// Brings one folder of a backup pair up to the service: makes sure the
/// service folder exists, then queues an upload (FileTask) for every local
/// file that the service lacks, holds only partly, or holds in an older
/// version. Sub-folders become SyncDirectoryTasks of their own at the back
/// of the family queue, so a folder's files go up before the next folder is
/// compared. The backup is one-way: nothing is downloaded and nothing is
/// deleted on either side.
///
///   marker 2 (load the service listing)
///      |  service folder found or not; local listing dropped
///      v
///   marker 0 (create the service folder when missing, and the missing
///      |      folders above a pair's root) --saved-->
///   marker 1 (compare, spawn children) --> (done: task file deleted)
///
/// Times are compared as instants to the whole second, as the service keeps
/// them: the same second never uploads, a service copy newer than the local
/// file is left alone, and sizes are not looked at. A file counts as missing
/// on the service only when the service folder's whole listing lacks it.
///
/// The task file is written like a directory task's (type 3) but never read
/// back: an interrupted backup is made afresh by the next run.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/ObjectInfo.h"
#include "tasks/Task.h"

namespace korvex {

class SyncDirectoryTask : public Task {
 public:
  /// `localFolder` (a folder of the family's source store) goes into
  /// `serviceFolder`, which lies in `serviceParent` (folders of the target
  /// store); the service folder may be missing and may have a name of its
  /// own. Ids may be missing from the service records: they are looked up.
  SyncDirectoryTask(std::uint32_t id, TaskFamily& family, const ContainerInfo& localFolder,
                    const ContainerInfo& serviceParent, const ContainerInfo& serviceFolder);

  [[nodiscard]] bool Run(TaskRunContext& context) override;
  /// A backup is never undone: cancelling only forgets the task.
  [[nodiscard]] bool RunCancel(TaskRunContext& context) override;
  void Finish(TaskRunContext&) override {}
  [[nodiscard]] TaskRecord Record() const override;

  [[nodiscard]] std::uint32_t Marker() const noexcept { return marker_; }

  /// "%04d-%02d-%02d %02d:%02d:%02d" of `fileTime` in local time; the
  /// present time when it cannot be converted.
  [[nodiscard]] static std::string LocalTimeText(std::uint64_t fileTime);
  /// Whether a local file of `localTime` must go up over a service copy of
  /// `serviceTime` (both FILETIME) whose `partial` flag is given.
  [[nodiscard]] static bool NeedsUpload(std::uint64_t localTime, std::uint64_t serviceTime, std::uint32_t partial);

 private:
  /// Finds the service folder and caches its whole listing.
  [[nodiscard]] HRESULT ListServiceFolder(TaskRunContext& context);
  [[nodiscard]] HRESULT LoadServiceListing(TaskRunContext& context);
  [[nodiscard]] HRESULT CreateServiceFolder(TaskRunContext& context);
  /// Makes the missing folders from the store's root down to parent_.
  [[nodiscard]] HRESULT MakeServicePath(TaskRunContext& context);
  /// Creates `folder` in `parent`, or takes the one that exists.
  [[nodiscard]] HRESULT MakeServiceFolder(TaskRunContext& context, ContainerInfo& parent, ContainerInfo& folder);
  [[nodiscard]] HRESULT Compare(TaskRunContext& context);
  [[nodiscard]] HRESULT CompareEntries(TaskRunContext& context);
  /// Saves the children compared so far in one write and queues them, in
  /// the order they were compared.
  void QueueChildren(TaskRunContext& context);
  /// The service's record of the file `name` of the service folder:
  /// HR_FILE_NOT_FOUND when the folder's whole listing lacks it.
  [[nodiscard]] HRESULT FindServiceFile(TaskRunContext& context, const std::string& name, ItemInfo& file);
  /// Queues what the local `entry` calls for.
  [[nodiscard]] HRESULT CompareEntry(TaskRunContext& context, const ObjectInfo& entry);
  /// False (and the entry is named in the family's options) for a name that
  /// differs only in case from one compared before in this folder.
  [[nodiscard]] bool TakeName(TaskRunContext& context, const ObjectInfo& entry);

  ContainerInfo local_;
  ContainerInfo parent_;
  ContainerInfo service_;
  bool serviceFound_ = false;
  std::uint32_t marker_ = 2;
  /// Local entries already compared in this run, so that a retry after an
  /// error does not queue their uploads twice.
  std::int32_t compared_ = 0;
  /// Names compared so far, without regard to case, as the service
  /// compares them: of two that differ only in case only the first is sent.
  std::map<std::string, std::string> comparedNames_;
  /// Children compared but not yet saved and queued: a folder of many
  /// files is stored in a few writes instead of one synchronous write per
  /// file. Nothing runs while they wait, so the queue's order is kept.
  std::vector<std::unique_ptr<Task>> children_;
};

}  // namespace korvex
