//===- mount/BlockCache.h - Bounded on-disk cache of file blocks -*- C++ -*-===//
///
/// Keeps 1 MiB blocks of cloud files on the local disk, so that a second
/// read of a file (or a seek back in a video) is served locally. A block is
/// keyed by the file's id and MD5: a file replaced on the service has a new
/// MD5, so stale blocks are never served, only aged out. Blocks are written
/// to a temporary name and renamed, so a crash never leaves half a block
/// under a real name. The total stays under the limit by dropping the least
/// recently used blocks; blocks left by an earlier mount are counted when
/// the cache opens.
///
/// Threads: every operation may be called from any thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvex::mount {

inline constexpr std::uint32_t kCacheBlockSize = 1u << 20;

class BlockCache {
 public:
  /// `limit` in bytes; 0 keeps nothing.
  BlockCache(std::filesystem::path folder, std::uint64_t limit);

  /// Creates the folder and counts what it holds (oldest first, by
  /// modification time), trimming it to the limit.
  [[nodiscard]] HRESULT Open();

  /// Reads block `index` of the file `key` into `data`; false when absent.
  [[nodiscard]] bool Get(const std::string& key, std::uint64_t index, std::vector<std::uint8_t>& data);
  /// Stores a block; a failure to write only means it is not cached.
  void Put(const std::string& key, std::uint64_t index, const std::vector<std::uint8_t>& data);

  [[nodiscard]] std::uint64_t TotalBytes() const;
  [[nodiscard]] const std::filesystem::path& Folder() const noexcept { return folder_; }

  /// The key of a file: its id and MD5 (size and time stand in for an MD5
  /// the service did not give).
  [[nodiscard]] static std::string KeyOf(std::uint64_t fileId, const std::string& md5, std::uint64_t size,
                                         std::uint64_t modifyTime);

 private:
  struct Entry {
    std::uint64_t bytes = 0;
    std::list<std::string>::iterator use;
  };
  [[nodiscard]] std::filesystem::path PathOf(const std::string& key, std::uint64_t index) const;
  void Touch(const std::string& name);            // mutex_ held
  void Add(const std::string& name, std::uint64_t bytes);  // mutex_ held
  void Trim();                                     // mutex_ held

  std::filesystem::path folder_;
  std::uint64_t limit_;
  mutable std::mutex mutex_;
  std::list<std::string> uses_;  // least recently used first, names relative to folder_
  std::unordered_map<std::string, Entry> entries_;
  std::uint64_t total_ = 0;
  std::uint64_t nextTemp_ = 0;
};

/// Reads "256M", "2G", "512K" or a plain number of bytes; false for
/// anything else (the value is then left alone).
[[nodiscard]] bool ParseByteSize(const std::string& text, std::uint64_t& bytes);

}  // namespace korvex::mount
