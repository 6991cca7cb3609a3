//===- mount/RemoteFile.cpp - One cloud file opened for reading -----------===//

#include "mount/RemoteFile.h"

#include "store/AwaitedResult.h"

#include <boost/any.hpp>

#include <algorithm>
#include <cstring>

namespace korvex::mount {

namespace {

// Blocks kept in memory per open file: a reader's 128 KiB requests fall in
// the same block many times over, and read-ahead lands here.
constexpr std::size_t kRecentBlocks = 4;
// Blocks fetched ahead of a sequential reader.
constexpr std::uint64_t kAheadBlocks = 2;

// The "md5" of a download preparation's answer, when it holds 32 hex digits.
std::string AnnouncedMd5(const std::string& answer) {
  const std::size_t key = answer.find("\"md5\"");
  if (key == std::string::npos) return {};
  const std::size_t open = answer.find('"', key + 5);
  const std::size_t close = open == std::string::npos ? open : answer.find('"', open + 1);
  if (close == std::string::npos || close - open - 1 != 32) return {};
  std::string md5 = answer.substr(open + 1, 32);
  if (md5.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return {};
  return md5;
}

std::uint64_t IdOf(const boost::any& tag) {
  const auto* id = boost::any_cast<std::uint64_t>(&tag);
  return id ? *id : 0;
}

// Waits at most `timeoutMs` for `result`; a call that did not end in time is
// cancelled, so its reader is not kept waiting for a service that went away.
HRESULT Await(IDataStoreRemote& remote, AsyncResult* result, std::uint32_t timeoutMs) {
  if (!result->WaitPumping(timeoutMs)) {
    (void)remote.CancelCall(result);
    result->Release();
    return kServiceTimedOut;
  }
  return S_OK;
}

}  // namespace

RemoteFile::RemoteFile(DataStore& store, ItemInfo item, BlockCache& cache, std::uint32_t timeoutMs)
    : store_(store), size_(item.size), cache_(cache), timeoutMs_(timeoutMs), item_(std::move(item)) {}

ItemInfo RemoteFile::Item() const {
  std::lock_guard<std::mutex> lock(tokenMutex_);
  return item_;
}

std::string RemoteFile::Key() const {
  std::lock_guard<std::mutex> lock(tokenMutex_);
  return key_;
}

HRESULT RemoteFile::Open() {
  IDataStoreRemote& remote = *store_.Remote();
  ItemInfo item = Item();
  AsyncResult* call = nullptr;
  if (const HRESULT hr = remote.OpenItem(item, false, &call); Failed(hr)) return hr;
  std::string md5;
  if (call != nullptr) {
    if (const HRESULT hr = Await(remote, call, timeoutMs_); Failed(hr)) return hr;
    AwaitedResult opened(call, false);
    if (Failed(opened.Status())) return opened.Status();
    if (auto payload = opened.Take<OpenItemPayload>()) {
      if (!boost::get<1>(*payload).empty()) item.extraTag = boost::get<1>(*payload);
      md5 = AnnouncedMd5(boost::get<2>(*payload));
    }
  }
  std::lock_guard<std::mutex> lock(tokenMutex_);
  item_.extraTag = item.extraTag;
  key_ = BlockCache::KeyOf(IdOf(item_.tag), md5, item_.size, item_.modifyTime);
  return S_OK;
}

HRESULT RemoteFile::ReadRange(std::uint64_t offset, std::uint32_t length, std::vector<std::uint8_t>& data) {
  IDataStoreRemote& remote = *store_.Remote();
  const ItemInfo item = Item();
  AsyncResult* call = nullptr;
  if (const HRESULT hr = remote.ReadItem(item, static_cast<std::uint32_t>(offset),
                                         static_cast<std::uint32_t>(offset >> 32), length, &call);
      Failed(hr))
    return hr;
  if (call == nullptr) return E_UNEXPECTED;
  if (const HRESULT hr = Await(remote, call, timeoutMs_); Failed(hr)) return hr;
  AwaitedResult read(call, false);
  if (Failed(read.Status())) return read.Status();
  auto payload = read.Take<ReadBufferPayload>();
  const std::unique_ptr<std::uint8_t[]> bytes(payload ? boost::get<1>(*payload) : nullptr);
  if (!bytes) return E_UNEXPECTED;
  data.assign(bytes.get(), bytes.get() + length);
  return S_OK;
}

HRESULT RemoteFile::Download(std::uint64_t index, std::vector<std::uint8_t>& data) {
  const std::uint64_t offset = index * kCacheBlockSize;
  const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kCacheBlockSize, size_ - offset));
  if (cache_.Get(Key(), index, data) && data.size() == length) return S_OK;
  HRESULT hr = ReadRange(offset, length, data);
  // A token the service no longer honours (it lives only so long): one new
  // preparation, one more try.
  if (Failed(hr) && hr != kServiceTimedOut && Succeeded(Open())) hr = ReadRange(offset, length, data);
  if (Failed(hr)) return hr;
  cache_.Put(Key(), index, data);
  return S_OK;
}

HRESULT RemoteFile::FetchBlock(std::uint64_t index, Block& block) {
  if (index * kCacheBlockSize >= size_) return E_INVALIDARG;
  std::shared_ptr<Pending> pending;
  bool mine = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (auto it = recent_.find(index); it != recent_.end()) {
      block = it->second;
      return S_OK;
    }
    if (auto it = pending_.find(index); it != pending_.end()) {
      pending = it->second;
    } else {
      pending = std::make_shared<Pending>();
      pending_.emplace(index, pending);
      mine = true;
    }
    if (!mine) {
      changed_.wait(lock, [&] { return pending->done; });
      block = pending->block;
      return pending->status;
    }
  }
  auto data = std::make_shared<std::vector<std::uint8_t>>();
  const HRESULT hr = Download(index, *data);
  std::lock_guard<std::mutex> lock(mutex_);
  pending->done = true;
  pending->status = hr;
  if (Succeeded(hr)) {
    pending->block = data;
    Remember(index, data);
  }
  pending_.erase(index);
  changed_.notify_all();
  block = pending->block;
  return hr;
}

void RemoteFile::Remember(std::uint64_t index, const Block& block) {
  recent_[index] = block;
  // The block furthest behind goes first: sequential readers move forward.
  while (recent_.size() > kRecentBlocks) recent_.erase(recent_.begin());
}

bool RemoteFile::Has(std::uint64_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return recent_.count(index) != 0 || pending_.count(index) != 0;
}

std::vector<std::uint64_t> RemoteFile::AheadOf(std::uint64_t offset, std::size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool sequential = hasRead_ && offset == lastEnd_;
  hasRead_ = true;
  lastEnd_ = offset + size;
  std::vector<std::uint64_t> ahead;
  // The kernel's own read-ahead makes even a single seek look sequential for
  // a few pages: only a reader half-way through a block is taken at its word.
  const std::uint64_t end = offset + size;
  const std::uint64_t within = end % kCacheBlockSize;
  if (!sequential || (within != 0 && within < kCacheBlockSize / 2)) return ahead;
  const std::uint64_t last = (end + kCacheBlockSize - 1) / kCacheBlockSize;
  for (std::uint64_t index = last; index < last + kAheadBlocks; ++index) {
    if (index * kCacheBlockSize >= size_) break;
    if (recent_.count(index) == 0 && pending_.count(index) == 0) ahead.push_back(index);
  }
  return ahead;
}

HRESULT RemoteFile::Read(std::uint64_t offset, std::size_t size, char* out, std::size_t& got) {
  got = 0;
  if (offset >= size_) return S_OK;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
  while (got < size) {
    const std::uint64_t at = offset + got;
    const std::uint64_t index = at / kCacheBlockSize;
    Block block;
    if (const HRESULT hr = FetchBlock(index, block); Failed(hr)) return hr;
    const std::uint64_t within = at - index * kCacheBlockSize;
    if (within >= block->size()) return E_UNEXPECTED;
    const std::size_t take = std::min<std::size_t>(size - got, block->size() - within);
    std::memcpy(out + got, block->data() + within, take);
    got += take;
  }
  return S_OK;
}

}  // namespace korvex::mount
