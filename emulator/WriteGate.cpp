// Writers and completion of an upload, kept apart.
#include "WriteGate.h"

#include <algorithm>
#include <iterator>

namespace korvexd {

bool WriteGate::Enter(std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  std::lock_guard lock(mutex_);
  if (completing_.count(fileId) != 0) return false;
  ++writers_[fileId];
  ++entries_;
  inside_.push_back({fileId, first, end});
  recent_.push_back({fileId, first, end});
  if (recent_.size() > kRecentEntries) recent_.pop_front();
  // Remembered ranges that start after `end` or end before `first` keep their MD5.
  auto longest = longest_.find(fileId);
  if (longest != longest_.end() && end > first) {
    std::uint64_t from = first > longest->second ? first - longest->second : 0;
    auto it = md5s_.lower_bound({fileId, from, 0});
    while (it != md5s_.end() && std::get<0>(it->first) == fileId && std::get<1>(it->first) < end) {
      it = std::get<2>(it->first) >= first ? md5s_.erase(it) : std::next(it);
    }
  }
  return true;
}

void WriteGate::Leave(std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  std::lock_guard lock(mutex_);
  auto it = writers_.find(fileId);
  if (it != writers_.end() && --it->second == 0) writers_.erase(it);
  auto range = std::find_if(inside_.begin(), inside_.end(), [&](const Range& r) {
    return r.fileId == fileId && r.first == first && r.end == end;
  });
  if (range != inside_.end()) inside_.erase(range);
}

bool WriteGate::BeginCompletion(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  if (writers_.count(fileId) != 0 || completing_.count(fileId) != 0) return false;
  completing_.insert(fileId);
  return true;
}

void WriteGate::EndCompletion(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  completing_.erase(fileId);
}

std::optional<std::uint64_t> WriteGate::QuietMark(std::int64_t fileId, std::uint64_t first, std::uint64_t last) {
  std::lock_guard lock(mutex_);
  for (const Range& r : inside_) {
    if (r.Overlaps(fileId, first, last + 1)) return std::nullopt;
  }
  return entries_;
}

void WriteGate::RememberMd5(std::int64_t fileId, std::uint64_t first, std::uint64_t last, const std::string& md5,
                            std::uint64_t mark) {
  std::lock_guard lock(mutex_);
  const std::uint64_t since = entries_ - mark;
  if (since > recent_.size()) return;
  for (auto it = recent_.end() - static_cast<std::ptrdiff_t>(since); it != recent_.end(); ++it) {
    if (it->Overlaps(fileId, first, last + 1)) return;
  }
  if (md5s_.size() >= kMaxRanges) {
    md5s_.clear();
    longest_.clear();
  }
  md5s_[{fileId, first, last}] = md5;
  std::uint64_t& longest = longest_[fileId];
  longest = std::max(longest, last - first + 1);
}

std::string WriteGate::RememberedMd5(std::int64_t fileId, std::uint64_t first, std::uint64_t last) {
  std::lock_guard lock(mutex_);
  auto it = md5s_.find({fileId, first, last});
  return it == md5s_.end() ? std::string() : it->second;
}

}  // namespace korvexd
