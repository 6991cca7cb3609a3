//===- mount/BlockCache.cpp - Bounded on-disk cache of file blocks --------===//

#include "mount/BlockCache.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace korvex::mount {

namespace fs = std::filesystem;

BlockCache::BlockCache(fs::path folder, std::uint64_t limit) : folder_(std::move(folder)), limit_(limit) {}

std::string BlockCache::KeyOf(std::uint64_t fileId, const std::string& md5, std::uint64_t size,
                              std::uint64_t modifyTime) {
  std::string digest = md5;
  std::transform(digest.begin(), digest.end(), digest.begin(), [](unsigned char c) { return std::tolower(c); });
  if (digest.empty()) digest = "s" + std::to_string(size) + "t" + std::to_string(modifyTime);
  return std::to_string(fileId) + "-" + digest;
}

HRESULT BlockCache::Open() {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) return HResultFromErrno(ec.value());
  std::multimap<fs::file_time_type, std::pair<std::string, std::uint64_t>> found;
  for (auto it = fs::recursive_directory_iterator(folder_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = fs::relative(it->path(), folder_, ec).string();
    // A temporary file is a block whose writer died.
    if (name.find(".part") != std::string::npos) {
      fs::remove(it->path(), ec);
      continue;
    }
    found.emplace(it->last_write_time(ec), std::make_pair(name, static_cast<std::uint64_t>(it->file_size(ec))));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [time, entry] : found) Add(entry.first, entry.second);
  Trim();
  return S_OK;
}

fs::path BlockCache::PathOf(const std::string& key, std::uint64_t index) const {
  return folder_ / key / std::to_string(index);
}

bool BlockCache::Get(const std::string& key, std::uint64_t index, std::vector<std::uint8_t>& data) {
  const std::string name = key + "/" + std::to_string(index);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.find(name) == entries_.end()) return false;
    Touch(name);
  }
  const int fd = ::open(PathOf(key, index).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  data.resize(kCacheBlockSize);
  std::size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return true;
}

void BlockCache::Put(const std::string& key, std::uint64_t index, const std::vector<std::uint8_t>& data) {
  if (limit_ == 0 || data.size() > limit_) return;
  std::error_code ec;
  fs::create_directories(folder_ / key, ec);
  std::uint64_t temp = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    temp = ++nextTemp_;
  }
  const fs::path final = PathOf(key, index);
  const fs::path part = final.string() + "." + std::to_string(temp) + ".part";
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  std::size_t put = 0;
  while (put < data.size()) {
    const ssize_t n = ::write(fd, data.data() + put, data.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    put += static_cast<std::size_t>(n);
  }
  const bool whole = ::close(fd) == 0 && put == data.size();
  if (!whole || ::rename(part.c_str(), final.c_str()) != 0) {
    fs::remove(part, ec);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string name = key + "/" + std::to_string(index);
  if (auto it = entries_.find(name); it != entries_.end()) {
    total_ -= it->second.bytes;
    uses_.erase(it->second.use);
    entries_.erase(it);
  }
  Add(name, data.size());
  Trim();
}

std::uint64_t BlockCache::TotalBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

void BlockCache::Touch(const std::string& name) {
  auto it = entries_.find(name);
  uses_.splice(uses_.end(), uses_, it->second.use);
}

void BlockCache::Add(const std::string& name, std::uint64_t bytes) {
  uses_.push_back(name);
  entries_[name] = Entry{bytes, std::prev(uses_.end())};
  total_ += bytes;
}

void BlockCache::Trim() {
  std::error_code ec;
  while (total_ > limit_ && !uses_.empty()) {
    const std::string name = uses_.front();
    uses_.pop_front();
    auto it = entries_.find(name);
    total_ -= it->second.bytes;
    entries_.erase(it);
    const fs::path path = folder_ / name;
    fs::remove(path, ec);
    // The folder of a file goes with its last block.
    fs::remove(path.parent_path(), ec);
  }
}

bool ParseByteSize(const std::string& text, std::uint64_t& bytes) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return false;
  std::size_t used = 0;
  unsigned long long value = 0;
  try {
    value = std::stoull(text, &used);
  } catch (...) {
    return false;
  }
  std::string unit = text.substr(used);
  if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b') && unit.size() > 1) unit.pop_back();
  int shift = 0;
  if (unit.empty()) shift = 0;
  else if (unit == "K" || unit == "k") shift = 10;
  else if (unit == "M" || unit == "m") shift = 20;
  else if (unit == "G" || unit == "g") shift = 30;
  else if (unit == "T" || unit == "t") shift = 40;
  else return false;
  if (shift != 0 && value > (~0ull >> shift)) return false;
  bytes = static_cast<std::uint64_t>(value) << shift;
  return true;
}

}  // namespace korvex::mount
