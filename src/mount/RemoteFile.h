//===- mount/RemoteFile.h - One cloud file opened for reading ---*- C++ -*-===//
///
/// Reads a cloud file by range through the block protocol: a download token
/// from OpenItem, then ReadItem for each 1 MiB block, each block kept in the
/// on-disk cache and the last few in memory. Two readers wanting the same
/// block (a reader and the read-ahead) share one request. Every wait for the
/// service is bounded, so a service that went away gives an error, never a
/// hung reader.
///
/// Shared by the open file handle and the read-ahead that may still be
/// fetching for it after the handle was released.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "mount/BlockCache.h"
#include "platform/HResult.h"
#include "store/DataStore.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex::mount {

/// ERROR_TIMEOUT: the service did not answer in time.
inline constexpr HRESULT kServiceTimedOut = HResultFromWin32(1460);

class RemoteFile {
 public:
  using Block = std::shared_ptr<const std::vector<std::uint8_t>>;

  /// `timeoutMs` bounds each wait for the service.
  RemoteFile(DataStore& store, ItemInfo item, BlockCache& cache, std::uint32_t timeoutMs);

  /// Asks the service for a download token (and the file's MD5).
  [[nodiscard]] HRESULT Open();

  /// Copies up to `size` bytes from `offset` into `out`; `got` is short only
  /// at the end of the file.
  [[nodiscard]] HRESULT Read(std::uint64_t offset, std::size_t size, char* out, std::size_t& got);

  /// The block at `index`, from memory, the disk cache or the service.
  [[nodiscard]] HRESULT FetchBlock(std::uint64_t index, Block& block);

  /// True when `index` is in memory or being fetched.
  [[nodiscard]] bool Has(std::uint64_t index);
  /// The blocks a sequential reader will want next, after a read of
  /// [offset, offset + size); empty for a reader that jumped.
  [[nodiscard]] std::vector<std::uint64_t> AheadOf(std::uint64_t offset, std::size_t size);

  [[nodiscard]] std::uint64_t Size() const noexcept { return size_; }

 private:
  struct Pending {
    bool done = false;
    HRESULT status = S_OK;
    Block block;
  };
  [[nodiscard]] HRESULT Download(std::uint64_t index, std::vector<std::uint8_t>& data);
  [[nodiscard]] HRESULT ReadRange(std::uint64_t offset, std::uint32_t length, std::vector<std::uint8_t>& data);
  void Remember(std::uint64_t index, const Block& block);  // mutex_ held

  /// Copies of the record (with the token) and the cache key: a new token
  /// may be fetched on one thread while another reads.
  [[nodiscard]] ItemInfo Item() const;
  [[nodiscard]] std::string Key() const;

  DataStore& store_;
  const std::uint64_t size_;
  BlockCache& cache_;
  const std::uint32_t timeoutMs_;
  mutable std::mutex tokenMutex_;  // guards item_ and key_; never held while waiting
  ItemInfo item_;  // its extraTag carries the download token
  std::string key_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, std::shared_ptr<Pending>> pending_;
  std::map<std::uint64_t, Block> recent_;
  std::uint64_t lastEnd_ = 0;
  bool hasRead_ = false;
};

}  // namespace korvex::mount
