//===- tasks/TaskBatchFiles.h - Tasks saved together in one file -*- C++ -*-===//
///
/// A folder's children are queued together and, for small files, finished
/// within a second: a file of their own each would cost a create, a sync, a
/// rename and an unlink per child. They share one batch file instead,
/// "<family>.<first task>.tsb", written atomically once, and every finished
/// child appends its id to the batch's done list, "<family>.<first task>.tsd".
/// A task saved again later (a large file's progress) gets its own ".tsk",
/// which wins over its batch entry on load; a ".tsk" exists only while its
/// task is unfinished, so a task leaving a batch loses its ".tsk" first.
///
/// Batch file: "KTSB", version 1, family id, task count (little-endian u32
/// each), then the task records back to back, each sized by its first word.
/// Done list: the finished task ids as little-endian u32, appended without a
/// sync: a killed process leaves them in the page cache, and only a power
/// loss can drop some, which redoes a finished task at worst.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

/// One task of a batch file: its id and its record's bytes.
struct BatchEntry {
  std::uint32_t taskId = 0;
  std::string_view record;
};

/// Builds a batch file of `familyId` from encoded task records.
[[nodiscard]] std::string EncodeBatch(std::uint32_t familyId, std::span<const std::string> records);
/// Splits a batch file into its entries (views into `bytes`). False, with no
/// entries, for a torn or foreign file: a wrong header or family, a count
/// that does not match the records, a record that does not decode or names
/// another family, or a first task other than `firstTask` (from its name).
[[nodiscard]] bool DecodeBatch(std::string_view bytes, std::uint32_t familyId, std::uint32_t firstTask,
                               std::vector<BatchEntry>& entries);
/// The ids of a done list; a torn last id is ignored.
[[nodiscard]] std::set<std::uint32_t> DecodeDoneList(std::string_view bytes);

/// Which unfinished tasks live in which batch file, so that finishing one
/// touches only its done list, and a task with no file of its own costs no
/// unlink. Not thread-safe: the store calls it under its lock.
class TaskBatchIndex {
 public:
  /// A batch just written: every task of `taskIds` lives in it, none with a
  /// file of its own.
  void Add(std::uint32_t familyId, std::uint32_t firstTask, std::span<const std::uint32_t> taskIds);
  /// What a load found of a batch on disk: its unfinished tasks, each with a
  /// flag for a file of its own. A batch already known keeps only the tasks
  /// unfinished both here and on disk (another process may have finished
  /// some, this one may have finished some since the load read the disk).
  void Merge(std::uint32_t familyId, std::uint32_t firstTask,
             std::span<const std::pair<std::uint32_t, bool>> unfinished);
  [[nodiscard]] bool Knows(std::uint32_t familyId, std::uint32_t firstTask) const;
  /// Whether the task lives in a batch.
  [[nodiscard]] bool Holds(std::uint32_t familyId, std::uint32_t taskId) const;
  /// The task now has a file of its own; nothing for a task outside batches.
  void NoteOwnFile(std::uint32_t familyId, std::uint32_t taskId);

  struct Finished {
    bool inBatch = false;     ///< false: the task is unknown here, its own file is all there is
    bool ownFile = false;     ///< it has a ".tsk" to remove
    std::uint32_t firstTask = 0;
    bool lastOfBatch = false;  ///< the batch has no unfinished task left
  };
  /// Takes the task out of its batch.
  [[nodiscard]] Finished Finish(std::uint32_t familyId, std::uint32_t taskId);
  void ForgetFamily(std::uint32_t familyId);

 private:
  using Key = std::pair<std::uint32_t, std::uint32_t>;
  struct Entry {
    std::uint32_t firstTask = 0;
    bool ownFile = false;
  };
  /// (family, task) -> its batch; (family, first task) -> unfinished count.
  std::map<Key, Entry> tasks_;
  std::map<Key, std::size_t> unfinished_;
};

/// Appends finished ids to done lists, keeping the last one open: a
/// folder's small files finish one after another in the same batch.
class DoneListWriter {
 public:
  DoneListWriter() = default;
  ~DoneListWriter() { Close(); }
  DoneListWriter(const DoneListWriter&) = delete;
  DoneListWriter& operator=(const DoneListWriter&) = delete;

  [[nodiscard]] HRESULT Append(const std::filesystem::path& file, std::uint32_t taskId);
  /// Closes the open list (before it is deleted or replaced).
  void Close();

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

}  // namespace korvex
