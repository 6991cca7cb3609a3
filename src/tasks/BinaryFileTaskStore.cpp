//===- tasks/BinaryFileTaskStore.cpp - Families and tasks as files --------===//

#include "tasks/BinaryFileTaskStore.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <fstream>
#include <set>
#include <vector>

#include "foundation/CryptoAPI.h"
#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "store/WaitPump.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskStoreContext.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr char kLogSource[] = "BinaryFileTaskStore";
constexpr std::size_t kMaxFolderName = 200;
/// No genuine record comes near this (a 1 TB file's bitmap is 4 MB); a larger
/// file is not read into memory at all.
constexpr std::uintmax_t kMaxRecordFile = 64u << 20;
/// Far below kMaxRecordFile: children of 1 TB each (4 MB of bitmap) go in
/// files of their own rather than in a batch no load would read.
constexpr std::size_t kMaxBatchBytes = 8u << 20;

/// Parses "<a>.tsf" or "<a>.<b>.tsk": decimal numbers without sign that fit.
bool ParseNumbers(std::string_view name, std::string_view extension, std::uint32_t* numbers,
                  std::size_t count) {
  if (name.size() <= extension.size() || !name.ends_with(extension)) return false;
  name.remove_suffix(extension.size());
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t end = i + 1 < count ? name.find('.') : name.size();
    if (end == 0 || end == std::string_view::npos) return false;
    const char* last = name.data() + end;
    auto [ptr, ec] = std::from_chars(name.data(), last, numbers[i]);
    if (ec != std::errc() || ptr != last) return false;
    name.remove_prefix(i + 1 < count ? end + 1 : end);
  }
  return name.empty();
}

/// The whole file, or false for an empty, oversized or unreadable one.
bool ReadWhole(const fs::path& file, std::string& bytes) {
  std::error_code ec;
  std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size == 0 || size > kMaxRecordFile) return false;
  std::ifstream in(file, std::ios::binary);
  bytes.resize(static_cast<std::size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<std::size_t>(in.gcount()) == bytes.size();
}

FamilyRecord RecordOf(const TaskFamily& family) {
  FamilyRecord r;
  FamilyProgress progress = family.Progress();
  r.id = family.Id();
  r.state = static_cast<std::uint32_t>(family.state.load());
  r.canceling = family.canceling;
  r.lastError = family.lastError;
  r.conflictAnswer = family.conflictAnswer;
  r.serviceIsSource = family.Direction() == TransferDirection::kDownload;
  r.sourcePath = family.SourcePath();
  r.targetPath = family.TargetPath();
  r.password = family.Password();
  r.totalBytes = progress.totalBytes;
  r.doneBytes = progress.doneBytes;
  r.createdAt = progress.createdAt;
  r.elapsedTotal = progress.elapsedTotal;
  r.direction = static_cast<std::uint32_t>(family.Direction());
  r.serviceRoot = family.ServiceRoot();
  r.options = family.Options();
  return r;
}

bool IsKnownState(std::uint32_t state) {
  return state == 0 || state == 1 || state == 3 || state == 5;
}

bool IsLeftoverOfInterruptedSave(const std::string& name) {
  return name.find(".tsf.tmp-") != std::string::npos || name.find(".tsk.tmp-") != std::string::npos ||
         name.find(".tsb.tmp-") != std::string::npos;
}

bool SameIds(const TaskRecord& record, std::uint32_t familyId, std::uint32_t taskId) {
  return FamilyIdOf(record) == familyId && TaskIdOf(record) == taskId;
}

}  // namespace

/// Where a task's record is: a file of its own, which is newer, and/or an
/// entry of a batch file.
struct BinaryFileTaskStore::TaskSource {
  fs::path ownFile;
  std::string_view batchRecord;
};

BinaryFileTaskStore::BinaryFileTaskStore(std::string_view accountFolder, TaskStoreContext& context)
    : folder_(paths::AppDataDir() / "KorvexDataSMB" / "TaskStore" / FolderNameForAccount(accountFolder)),
      context_(context) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) {
    LogMgr::Get().Error(kLogSource, "SHPathPrepareForWrite %s error 0x%08X", folder_.c_str(),
                        static_cast<std::uint32_t>(HResultFromErrno(ec.value())));
  }
}

std::string BinaryFileTaskStore::FolderNameForAccount(std::string_view account) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : account) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '@' || c >= 0x80;
    if (plain) {
      name.push_back(static_cast<char>(c));
    } else {
      name += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  if (name.empty()) return "%00";
  if (name == ".") return "%2E";
  if (name == "..") return "%2E%2E";
  if (name.size() > kMaxFolderName) {
    std::string hash;
    if (Succeeded(CryptoAPI::HashBuffer(account.data(), account.size(), kHashMd5, hash))) {
      name = name.substr(0, kMaxFolderName) + "-" + hash;
    } else {
      name.resize(kMaxFolderName);
    }
  }
  return name;
}

HRESULT BinaryFileTaskStore::Write(const fs::path& file, const std::string& bytes) {
  // A running transfer saves its files after every MiB. Flushing the folder
  // as well would double the disk's wait for no gain: should a power loss
  // undo the rename, the previous file is whole and the transfer resumes
  // from it. A new file needs its folder entry, or it could vanish.
  std::error_code ec;
  const auto durability = fs::exists(file, ec) ? AtomicDurability::kContentOnly : AtomicDurability::kFull;
  HRESULT hr = WriteFileAtomically(file, bytes, 0600, durability);
  if (Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "CreateFile %s error %d", file.c_str(), static_cast<int>(hr & 0xFFFF));
  }
  return hr;
}

HRESULT BinaryFileTaskStore::SaveFamily(const TaskFamily& family) {
  std::lock_guard lock(writeMutex_);
  std::string bytes;
  HRESULT hr = EncodeFamily(RecordOf(family), bytes);
  if (Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "Family %u not saved: a path does not fit its field, error 0x%08X",
                        family.Id(), static_cast<std::uint32_t>(hr));
    return hr;
  }
  return Write(folder_ / (std::to_string(family.Id()) + ".tsf"), bytes);
}

HRESULT BinaryFileTaskStore::SaveTask(const Task& task) {
  std::lock_guard lock(writeMutex_);
  std::string bytes;
  HRESULT hr = EncodeTask(task.Record(), bytes);
  if (Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "Task %u not saved: a field does not fit, error 0x%08X", task.Id(),
                        static_cast<std::uint32_t>(hr));
    return hr;
  }
  // Marked before the write: an unlink too many costs nothing, a file of its
  // own left behind would bring a finished task back.
  batches_.NoteOwnFile(task.Family().Id(), task.Id());
  return Write(TaskFile(task.Family().Id(), task.Id()), bytes);
}

HRESULT BinaryFileTaskStore::SaveTasks(std::span<const Task* const> tasks) {
  // Every file of a write stays open until the write syncs: a long list goes
  // in parts, well inside the process's limit of open files.
  for (std::size_t first = 0; first < tasks.size(); first += kTasksPerWrite) {
    const HRESULT hr = SaveTasksTogether(tasks.subspan(first, std::min(kTasksPerWrite, tasks.size() - first)));
    if (Failed(hr)) return hr;
  }
  return S_OK;
}

HRESULT BinaryFileTaskStore::SaveTasksTogether(std::span<const Task* const> tasks) {
  std::lock_guard lock(writeMutex_);
  std::vector<std::string> bytes(tasks.size());
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    const Task& task = *tasks[i];
    if (const HRESULT hr = EncodeTask(task.Record(), bytes[i]); Failed(hr)) {
      LogMgr::Get().Error(kLogSource, "Task %u not saved: a field does not fit, error 0x%08X", task.Id(),
                          static_cast<std::uint32_t>(hr));
      return hr;
    }
  }
  std::size_t total = 0;
  for (const std::string& record : bytes) total += record.size();
  if (total > kMaxBatchBytes || !MayBatch(tasks)) return SaveTaskFiles(tasks, bytes);
  const std::uint32_t familyId = tasks.front()->Family().Id();
  const std::uint32_t first = tasks.front()->Id();
  // A done list left behind by an earlier batch of this name (a crash while
  // it was deleted) would finish tasks of this one.
  doneLists_.Close();
  std::error_code ec;
  fs::remove(BatchFile(familyId, first, ".tsd"), ec);
  if (ec) return SaveTaskFiles(tasks, bytes);
  const fs::path file = BatchFile(familyId, first, ".tsb");
  const HRESULT hr = WriteFileAtomically(file, EncodeBatch(familyId, bytes), 0600, AtomicDurability::kFull);
  if (Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "CreateFile %s error %d", file.c_str(), static_cast<int>(hr & 0xFFFF));
    return hr;
  }
  std::vector<std::uint32_t> ids;
  ids.reserve(tasks.size());
  for (const Task* task : tasks) ids.push_back(task->Id());
  batches_.Add(familyId, first, ids);
  return S_OK;
}

bool BinaryFileTaskStore::MayBatch(std::span<const Task* const> tasks) const {
  // A single task costs the same in a file of its own, and keeps the layout
  // of a one-file transfer as it always was.
  if (tasks.size() < 2) return false;
  const std::uint32_t familyId = tasks.front()->Family().Id();
  const std::uint32_t first = tasks.front()->Id();
  std::error_code ec;
  if (batches_.Knows(familyId, first) || fs::exists(BatchFile(familyId, first, ".tsb"), ec) || ec) return false;
  // A task saved before keeps its newer record in its own file, which would
  // win over the batch at the next load.
  for (const Task* task : tasks) {
    if (task->Family().Id() != familyId || batches_.Holds(familyId, task->Id())) return false;
    if (fs::exists(TaskFile(familyId, task->Id()), ec) || ec) return false;
  }
  return true;
}

HRESULT BinaryFileTaskStore::SaveTaskFiles(std::span<const Task* const> tasks, std::span<const std::string> bytes) {
  std::vector<AtomicFileWrite> writes;
  writes.reserve(tasks.size());
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    const Task& task = *tasks[i];
    batches_.NoteOwnFile(task.Family().Id(), task.Id());
    writes.push_back({TaskFile(task.Family().Id(), task.Id()), bytes[i]});
  }
  const HRESULT hr = WriteFilesAtomically(writes, 0600);
  if (Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "CreateFile %s error %d", folder_.c_str(), static_cast<int>(hr & 0xFFFF));
  }
  return hr;
}

fs::path BinaryFileTaskStore::TaskFile(std::uint32_t familyId, std::uint32_t taskId) const {
  return folder_ / (std::to_string(familyId) + "." + std::to_string(taskId) + ".tsk");
}

fs::path BinaryFileTaskStore::BatchFile(std::uint32_t familyId, std::uint32_t firstTask,
                                        const char* extension) const {
  return folder_ / (std::to_string(familyId) + "." + std::to_string(firstTask) + extension);
}

HRESULT BinaryFileTaskStore::DeleteTask(std::uint32_t familyId, std::uint32_t taskId) {
  std::lock_guard lock(writeMutex_);
  const TaskBatchIndex::Finished finished = batches_.Finish(familyId, taskId);
  HRESULT result = S_OK;
  std::error_code ec;
  // The task's own file goes first: one that exists always means unfinished.
  if (!finished.inBatch || finished.ownFile) {
    fs::remove(TaskFile(familyId, taskId), ec);
    if (ec) result = HResultFromErrno(ec.value());
  }
  if (!finished.inBatch) return result;
  const fs::path done = BatchFile(familyId, finished.firstTask, ".tsd");
  if (const HRESULT hr = doneLists_.Append(done, taskId); Failed(hr)) {
    LogMgr::Get().Error(kLogSource, "WriteFile error %d", static_cast<int>(hr & 0xFFFF));
    result = hr;
  }
  if (!finished.lastOfBatch) return result;
  doneLists_.Close();
  // Without its batch a done list is nothing; without its done list a batch
  // would come back whole.
  if (fs::remove(BatchFile(familyId, finished.firstTask, ".tsb"), ec); ec) return HResultFromErrno(ec.value());
  fs::remove(done, ec);
  return ec ? HResultFromErrno(ec.value()) : result;
}

HRESULT BinaryFileTaskStore::DeleteFamily(std::uint32_t familyId) {
  std::lock_guard lock(writeMutex_);
  batches_.ForgetFamily(familyId);
  doneLists_.Close();
  HRESULT result = S_OK;
  std::error_code ec;
  fs::remove(folder_ / (std::to_string(familyId) + ".tsf"), ec);
  if (ec) result = HResultFromErrno(ec.value());
  for (auto it = fs::directory_iterator(folder_, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().native();
    std::uint32_t ids[2];
    // Parsing the whole name keeps family 5 from matching "50.1.tsk" or "15.1.tsk".
    const bool ofFamily = (ParseNumbers(name, ".tsk", ids, 2) || ParseNumbers(name, ".tsb", ids, 2) ||
                           ParseNumbers(name, ".tsd", ids, 2)) &&
                          ids[0] == familyId;
    if (ofFamily) {
      std::error_code removeError;
      fs::remove(it->path(), removeError);
      if (removeError) result = HResultFromErrno(removeError.value());
    }
  }
  return result;
}

void BinaryFileTaskStore::LoadFamilyFile(const fs::path& file, std::uint32_t id, FamilyMap& families) {
  std::string bytes;
  FamilyRecord r;
  if (!ReadWhole(file, bytes) || Failed(DecodeFamily(bytes, r)) || r.id != id || !IsKnownState(r.state) ||
      r.direction > 2) {
    return;
  }
  std::shared_ptr<DataStore> service =
      r.serviceRoot.empty() ? context_.ServiceStore() : context_.ServiceStoreForRoot(r.serviceRoot);
  if (!service && !r.serviceRoot.empty()) return;
  std::shared_ptr<DataStore> local = context_.LocalStore();
  auto family = std::make_shared<TaskFamily>(r.id, static_cast<TransferDirection>(r.direction),
                                             r.serviceIsSource ? service : local, r.sourcePath,
                                             r.serviceIsSource ? local : service, r.targetPath);
  if (!r.serviceRoot.empty()) family->UseServiceRoot(r.serviceRoot, service);
  for (const auto& [key, value] : r.options) family->SetOption(key, value);
  family->state = static_cast<FamilyState>(r.state);
  family->canceling = r.canceling;
  family->lastError = r.lastError;
  family->conflictAnswer = r.conflictAnswer;
  family->SetPasswordField(r.password);
  FamilyProgress progress;
  progress.totalBytes = r.totalBytes;
  progress.doneBytes = r.doneBytes;
  progress.createdAt = r.createdAt;
  progress.elapsedTotal = r.elapsedTotal;
  family->RestoreProgress(progress);
  families[id] = std::move(family);
}

bool BinaryFileTaskStore::ReadBatch(std::uint32_t familyId, std::uint32_t firstTask, std::string& bytes,
                                    TaskSources& sources) {
  std::vector<BatchEntry> entries;
  if (!ReadWhole(BatchFile(familyId, firstTask, ".tsb"), bytes) ||
      !DecodeBatch(bytes, familyId, firstTask, entries)) {
    return false;
  }
  std::string doneBytes;
  std::set<std::uint32_t> done;
  if (ReadWhole(BatchFile(familyId, firstTask, ".tsd"), doneBytes)) done = DecodeDoneList(doneBytes);
  std::vector<std::pair<std::uint32_t, bool>> unfinished;
  for (const BatchEntry& entry : entries) {
    if (done.contains(entry.taskId)) continue;
    TaskSource& source = sources[{familyId, entry.taskId}];
    source.batchRecord = entry.record;
    unfinished.emplace_back(entry.taskId, !source.ownFile.empty());
  }
  std::lock_guard lock(writeMutex_);
  batches_.Merge(familyId, firstTask, unfinished);
  return true;
}

void BinaryFileTaskStore::LoadTask(const TaskSource& source, std::uint32_t familyId, std::uint32_t taskId,
                                   FamilyMap& families, std::vector<std::unique_ptr<Task>>& expanding) {
  auto found = families.find(familyId);
  if (found == families.end()) return;
  std::string bytes;
  TaskRecord record;
  bool good = !source.ownFile.empty() && ReadWhole(source.ownFile, bytes) && DecodeTask(bytes, record) == S_OK &&
              SameIds(record, familyId, taskId);
  // A damaged file of its own falls back to the task as its batch saved it:
  // started again rather than lost.
  if (!good && !source.batchRecord.empty()) {
    good = DecodeTask(source.batchRecord, record) == S_OK && SameIds(record, familyId, taskId);
  }
  if (!good) return;
  TaskFamily& family = *found->second;
  if (const auto* dir = std::get_if<DirectoryTaskRecord>(&record)) {
    // Synchronisation tasks are made afresh by the sync service at each run.
    if (dir->type != 1) return;
    auto task = context_.RebuildDirectoryTask(family, *dir);
    if (task && dir->marker == 1) expanding.push_back(std::move(task));
    else if (task) family.PushBack(std::move(task));
  } else if (auto task = context_.RebuildFileTask(family, std::get<FileTaskRecord>(record))) {
    family.PushFront(std::move(task));
  }
}

HRESULT BinaryFileTaskStore::LoadAll(FamilyMap& families) {
  std::vector<std::pair<std::uint32_t, fs::path>> familyFiles;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> batchFiles;
  TaskSources sources;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder_, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string name = it->path().filename();
    std::uint32_t ids[2];
    if (IsLeftoverOfInterruptedSave(name)) {
      fs::remove(it->path(), typeError);
    } else if (ParseNumbers(name, ".tsf", ids, 1)) {
      familyFiles.emplace_back(ids[0], it->path());
    } else if (ParseNumbers(name, ".tsk", ids, 2)) {
      sources[{ids[0], ids[1]}].ownFile = it->path();
    } else if (ParseNumbers(name, ".tsb", ids, 2)) {
      batchFiles.emplace_back(ids[0], ids[1]);
    }
  }
  if (ec) return HResultFromErrno(ec.value());
  for (const auto& [id, file] : familyFiles) {
    LoadFamilyFile(file, id, families);
    RunWaitPump();
  }
  // Entries point into these until every task is loaded.
  std::deque<std::string> batchBytes;
  for (const auto& [familyId, firstTask] : batchFiles) {
    if (!families.contains(familyId)) continue;
    if (!ReadBatch(familyId, firstTask, batchBytes.emplace_back(), sources)) batchBytes.pop_back();
    RunWaitPump();
  }
  // In id order, file tasks put at the front in turn end up in the order
  // their directory task made them.
  std::vector<std::unique_ptr<Task>> expanding;
  for (const auto& [ids, source] : sources) {
    LoadTask(source, ids.first, ids.second, families, expanding);
    RunWaitPump();
  }
  // Ahead of the children it already queued, so that it sees them before
  // any of them is done and gone.
  for (auto& task : expanding) {
    TaskFamily& family = task->Family();
    family.PushFront(std::move(task));
  }
  return S_OK;
}

}  // namespace korvex
