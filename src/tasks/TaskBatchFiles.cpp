//===- tasks/TaskBatchFiles.cpp - Tasks saved together in one file --------===//

#include "tasks/TaskBatchFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SystemError.h"
#include "tasks/TaskRecords.h"

namespace korvex {
namespace {

constexpr char kMagic[] = "KTSB";
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
/// Below this no task record decodes; it also keeps a zero size word from
/// looping on the same bytes.
constexpr std::uint32_t kMinRecord = 16;

void PutU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string EncodeBatch(std::uint32_t familyId, std::span<const std::string> records) {
  std::size_t size = kHeaderSize;
  for (const std::string& record : records) size += record.size();
  std::string out;
  out.reserve(size);
  out.append(kMagic, 4);
  PutU32(out, kVersion);
  PutU32(out, familyId);
  PutU32(out, static_cast<std::uint32_t>(records.size()));
  for (const std::string& record : records) out += record;
  return out;
}

bool DecodeBatch(std::string_view bytes, std::uint32_t familyId, std::uint32_t firstTask,
                 std::vector<BatchEntry>& entries) {
  entries.clear();
  if (bytes.size() < kHeaderSize || bytes.substr(0, 4) != std::string_view(kMagic, 4) ||
      GetU32(bytes, 4) != kVersion || GetU32(bytes, 8) != familyId) {
    return false;
  }
  const std::uint32_t count = GetU32(bytes, 12);
  std::size_t at = kHeaderSize;
  while (at < bytes.size()) {
    if (bytes.size() - at < kMinRecord) break;
    const std::uint32_t size = GetU32(bytes, at);
    if (size < kMinRecord || size > bytes.size() - at) break;
    const std::string_view record = bytes.substr(at, size);
    TaskRecord decoded;
    // Sync-folder records decode too; whether a record becomes a task is the
    // loader's choice, as for a file of its own.
    if (DecodeTask(record, decoded) != S_OK || FamilyIdOf(decoded) != familyId) break;
    entries.push_back({TaskIdOf(decoded), record});
    at += size;
  }
  if (at != bytes.size() || entries.size() != count || entries.empty() || entries.front().taskId != firstTask) {
    entries.clear();
    return false;
  }
  return true;
}

std::set<std::uint32_t> DecodeDoneList(std::string_view bytes) {
  std::set<std::uint32_t> ids;
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) ids.insert(GetU32(bytes, at));
  return ids;
}

void TaskBatchIndex::Add(std::uint32_t familyId, std::uint32_t firstTask, std::span<const std::uint32_t> taskIds) {
  std::size_t& count = unfinished_[{familyId, firstTask}];
  for (std::uint32_t id : taskIds) {
    if (tasks_.try_emplace({familyId, id}, Entry{firstTask, false}).second) ++count;
  }
}

void TaskBatchIndex::Merge(std::uint32_t familyId, std::uint32_t firstTask,
                           std::span<const std::pair<std::uint32_t, bool>> unfinished) {
  const Key batch{familyId, firstTask};
  if (!unfinished_.contains(batch)) {
    std::size_t count = 0;
    for (const auto& [id, ownFile] : unfinished) {
      if (tasks_.try_emplace({familyId, id}, Entry{firstTask, ownFile}).second) ++count;
    }
    if (count != 0) unfinished_[batch] = count;
    return;
  }
  std::map<std::uint32_t, bool> onDisk(unfinished.begin(), unfinished.end());
  std::size_t& count = unfinished_[batch];
  for (auto it = tasks_.lower_bound({familyId, 0}); it != tasks_.end() && it->first.first == familyId;) {
    const auto found = onDisk.find(it->first.second);
    if (it->second.firstTask != firstTask) {
      ++it;
    } else if (found == onDisk.end()) {
      it = tasks_.erase(it);
      --count;
    } else {
      it->second.ownFile |= found->second;
      ++it;
    }
  }
  // Every task gone: the batch's files stay until the family goes, since a
  // load may run in a process that does not own the transfers.
  if (count == 0) unfinished_.erase(batch);
}

bool TaskBatchIndex::Knows(std::uint32_t familyId, std::uint32_t firstTask) const {
  return unfinished_.contains({familyId, firstTask});
}

bool TaskBatchIndex::Holds(std::uint32_t familyId, std::uint32_t taskId) const {
  return tasks_.contains({familyId, taskId});
}

void TaskBatchIndex::NoteOwnFile(std::uint32_t familyId, std::uint32_t taskId) {
  if (const auto it = tasks_.find({familyId, taskId}); it != tasks_.end()) it->second.ownFile = true;
}

TaskBatchIndex::Finished TaskBatchIndex::Finish(std::uint32_t familyId, std::uint32_t taskId) {
  const auto it = tasks_.find({familyId, taskId});
  if (it == tasks_.end()) return {};
  Finished finished{true, it->second.ownFile, it->second.firstTask, false};
  tasks_.erase(it);
  const auto batch = unfinished_.find({familyId, finished.firstTask});
  if (batch != unfinished_.end() && --batch->second == 0) {
    unfinished_.erase(batch);
    finished.lastOfBatch = true;
  }
  return finished;
}

void TaskBatchIndex::ForgetFamily(std::uint32_t familyId) {
  tasks_.erase(tasks_.lower_bound({familyId, 0}), tasks_.upper_bound({familyId, UINT32_MAX}));
  unfinished_.erase(unfinished_.lower_bound({familyId, 0}), unfinished_.upper_bound({familyId, UINT32_MAX}));
}

HRESULT DoneListWriter::Append(const std::filesystem::path& file, std::uint32_t taskId) {
  if (fd_ < 0 || path_ != file) {
    Close();
    fd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return HResultFromLastErrno();
    path_ = file;
  }
  std::string bytes;
  PutU32(bytes, taskId);
  ssize_t written;
  do {
    written = ::write(fd_, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(bytes.size())) return S_OK;
  const HRESULT hr = written < 0 ? HResultFromLastErrno() : HResultFromErrno(ENOSPC);
  // A short write leaves a torn id, which loads as nothing; the next id
  // must not be read shifted behind it.
  if (written > 0) (void)::ftruncate(fd_, ::lseek(fd_, 0, SEEK_END) - written);
  Close();
  return hr;
}

void DoneListWriter::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace korvex
