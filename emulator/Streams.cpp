// Open transfer streams.
#include "Streams.h"

#include "Wire.h"

namespace korvexd {
namespace {

std::uint64_t LowestMissing(const std::vector<bool>& received) {
  for (std::size_t i = 0; i < received.size(); ++i) {
    if (!received[i]) return i;
  }
  return received.size();
}

}  // namespace

std::string StreamTable::Open(StreamInfo info) {
  info.id = RandomHex(12);
  if (db_) {
    db_->Exec(
        "INSERT INTO streams(id, file_id, token, write, first, last, chunk, created) "
        "VALUES(?,?,?,?,?,?,?,?)",
        {info.id, info.fileId, info.token, std::int64_t{info.write ? 1 : 0},
         static_cast<std::int64_t>(info.first), static_cast<std::int64_t>(info.last),
         std::int64_t{info.chunkSize}, NowSeconds()});
  }
  std::lock_guard lock(mutex_);
  std::string id = info.id;
  auto md5 = info.write ? std::make_shared<RunningMd5>(info.first) : nullptr;
  open_[id] = Entry{std::move(info), {}, std::chrono::steady_clock::now(), std::move(md5)};
  return id;
}

std::optional<StreamInfo> StreamTable::Find(const std::string& id) {
  {
    std::lock_guard lock(mutex_);
    auto it = open_.find(id);
    if (it != open_.end()) return it->second.info;
  }
  // Not under the table's lock: the database lock is taken first elsewhere
  // (a transaction that drops a file's streams), never the other way round.
  if (!db_) return std::nullopt;
  auto rows = db_->Query("SELECT file_id, token, write, first, last, chunk FROM streams WHERE id=?", {id});
  if (rows.empty()) return std::nullopt;
  StreamInfo info{id,
                  rows[0].Int(0),
                  rows[0].Text(1),
                  rows[0].Int(2) != 0,
                  static_cast<std::uint64_t>(rows[0].Int(3)),
                  static_cast<std::uint64_t>(rows[0].Int(4)),
                  static_cast<std::uint32_t>(rows[0].Int(5))};
  std::lock_guard lock(mutex_);
  open_.try_emplace(id, Entry{info, {}, std::chrono::steady_clock::now(), nullptr});
  return info;
}

std::uint64_t StreamTable::MarkChunk(const std::string& id, std::uint64_t sequence) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(id);
  if (it == open_.end()) return 0;
  it->second.used = std::chrono::steady_clock::now();
  // Callers refuse sequences beyond the stream's chunk count, which its
  // opening bounds, so this vector stays small.
  auto& received = it->second.received;
  if (sequence < it->second.info.ChunkCount()) {
    if (received.size() <= sequence) received.resize(sequence + 1, false);
    received[sequence] = true;
  }
  return LowestMissing(received);
}

std::uint64_t StreamTable::NextSequence(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(id);
  return it == open_.end() ? 0 : LowestMissing(it->second.received);
}

void StreamTable::Judged(const std::string& id, std::uint64_t generation, std::int64_t second) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(id);
  if (it == open_.end()) return;
  it->second.judgedGeneration = generation;
  it->second.judgedSecond = second;
}

bool StreamTable::JudgedAlready(const std::string& id, std::uint64_t generation, std::int64_t second) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(id);
  return it != open_.end() && it->second.judgedGeneration == generation && it->second.judgedSecond == second;
}

StreamTable::Arrival StreamTable::Arrived(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(id);
  if (it == open_.end() || !it->second.md5) return {};
  const StreamInfo& info = it->second.info;
  std::uint64_t end = info.first + LowestMissing(it->second.received) * info.chunkSize;
  return {it->second.md5, std::min(end, info.last + 1), info.last + 1};
}

void StreamTable::HashArrived(const std::string& id, const std::filesystem::path& blob) {
  auto [running, end, rangeEnd] = Arrived(id);
  if (!running) return;
  std::unique_lock lock(running->mutex, std::try_to_lock);
  if (!lock || running->spoiled) return;
  if (!running->md5.FeedTo(blob, end)) running->spoiled = true;
}

std::string StreamTable::ArrivedMd5(const std::string& id, const std::filesystem::path& blob) {
  auto [running, end, rangeEnd] = Arrived(id);
  if (!running) return {};
  std::lock_guard lock(running->mutex);
  if (running->spoiled || end != rangeEnd || !running->md5.FeedTo(blob, end) || running->md5.Next() != end)
    return {};
  running->spoiled = true;  // finished: a second close hashes the range afresh
  return running->md5.Finish();
}

void StreamTable::Overwritten(std::int64_t fileId) {
  std::vector<std::shared_ptr<RunningMd5>> spoiled;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, entry] : open_) {
      if (entry.info.fileId == fileId && entry.md5) spoiled.push_back(entry.md5);
    }
  }
  for (const auto& running : spoiled) {
    std::lock_guard lock(running->mutex);
    running->spoiled = true;
  }
}

void StreamTable::Close(const std::string& id) {
  // The record goes first, so that a concurrent Find cannot load it again.
  if (db_) db_->Exec("DELETE FROM streams WHERE id=?", {id});
  std::lock_guard lock(mutex_);
  open_.erase(id);
}

void StreamTable::DropFile(std::int64_t fileId) {
  if (db_) db_->Exec("DELETE FROM streams WHERE file_id=?", {fileId});
  std::lock_guard lock(mutex_);
  std::erase_if(open_, [&](const auto& entry) { return entry.second.info.fileId == fileId; });
}

void StreamTable::Expire(std::int64_t openedBefore, std::int64_t idleSeconds) {
  std::vector<std::string> idle;
  {
    std::lock_guard lock(mutex_);
    auto limit = std::chrono::steady_clock::now() - std::chrono::seconds(idleSeconds);
    for (const auto& [id, entry] : open_) {
      if (entry.used < limit) idle.push_back(id);
    }
  }
  if (db_) {
    for (const Row& r : db_->Query("SELECT id FROM streams WHERE created<?", {openedBefore})) idle.push_back(r.Text(0));
  }
  for (const std::string& id : idle) Close(id);
}

}  // namespace korvexd
