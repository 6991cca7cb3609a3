//===- session/LocalUpload.cpp - One local file into a folder of a store --===//
//
// One file at a time through the block protocol: the target's store
// prepares the upload (with the access code after `login --code`), the
// blocks follow in order, the store completes it, and the finished transfer
// is reported to the service like every upload of the client.

#include "session/LocalUpload.h"

#include "platform/FileTime.h"

#include <chrono>
#include <fstream>

namespace korvex::session {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kBlockSize = 32768;

std::uint64_t IdOf(const boost::any& tag) {
  const auto* id = boost::any_cast<std::uint64_t>(&tag);
  return id ? *id : 0;
}

// The file's record as the store expects a new item.
bool DescribeLocal(const fs::path& local, ItemInfo& item) {
  std::error_code error;
  if (!fs::is_regular_file(local, error)) return false;
  item.name = local.filename().string();
  item.size = fs::file_size(local, error);
  const auto written = fs::last_write_time(local, error);
  if (error) return false;
  item.modifyTime = FileTimeFromSystemClock(std::chrono::file_clock::to_sys(written));
  return true;
}

HRESULT SendBlocks(DataStore& store, const ItemInfo& item, std::ifstream& in, const UploadProgress& progress,
                   std::string& message) {
  for (std::uint64_t offset = 0; offset < item.size; offset += kBlockSize) {
    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlockSize, item.size - offset));
    auto block = std::make_unique<std::uint8_t[]>(length);
    if (!in.read(reinterpret_cast<char*>(block.get()), length)) return HR_FILE_NOT_FOUND;
    const HRESULT hr = Await<StatusPayload>(
        [&](AsyncResult** r) {
          return store.Remote()->WriteItem(item, std::move(block), static_cast<std::uint32_t>(offset),
                                           static_cast<std::uint32_t>(offset >> 32), length, r);
        },
        [](const StatusPayload&) {}, message);
    if (Failed(hr)) return hr;
    if (progress) progress(item, offset + length);
  }
  return S_OK;
}

}  // namespace

HRESULT UploadLocalFile(DataStore& store, const ContainerInfo& folder, const fs::path& local, bool overwrite,
                        const UploadProgress& progress, ItemInfo& item, std::string& message) {
  if (!DescribeLocal(local, item)) return E_INVALIDARG;
  std::ifstream in(local, std::ios::binary);
  if (!in) return kLocalFileUnreadable;
  const auto started = std::chrono::steady_clock::now();
  HRESULT hr = store.CreateItem(folder, item, overwrite ? 1 : 0);
  if (Failed(hr)) return hr;
  if (Failed(hr = SendBlocks(store, item, in, progress, message))) return hr;
  if (Failed(hr = store.CompleteItem(item, overwrite ? 1 : 0))) return hr;

  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started);
  const auto* token = boost::any_cast<std::string>(&item.extraTag);
  // The report is for the service's statistics; its fate is not the user's.
  (void)store.ReportTransfer(0, 0, item.name, item.size, IdOf(folder.tag), IdOf(item.tag),
                             static_cast<std::uint64_t>(elapsed.count() / 100), token ? *token : std::string());
  return S_OK;
}

}  // namespace korvex::session
