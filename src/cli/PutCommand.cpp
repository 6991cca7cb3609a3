//===- cli/PutCommand.cpp - Uploading local files ------------------------===//
//
// One file at a time through the block protocol: the target's store
// prepares the upload (with the access code after `login --code`), the
// blocks follow in order, the store completes it, and the finished transfer
// is reported to the service like every upload of the client.

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "platform/FileTime.h"
#include "store/DataStore.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace korvex::cli {
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

HRESULT SendBlocks(DataStore& store, const ItemInfo& item, std::ifstream& in, bool showProgress, std::string& message) {
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
    if (showProgress)
      std::cerr << "\r" << item.name << "  " << (offset + length) * 100 / item.size << "%" << std::flush;
  }
  if (showProgress) std::cerr << "\r" << std::string(item.name.size() + 6, ' ') << "\r" << std::flush;
  return S_OK;
}

CommandOutcome PutOne(DataStore& store, const ContainerInfo& folder, const fs::path& local, bool overwrite) {
  const std::string subject = local.string();
  std::string message;
  ItemInfo item;
  const HRESULT hr = UploadLocalFile(store, folder, local, overwrite, ::isatty(STDERR_FILENO) == 1, item, message);
  if (hr == E_INVALIDARG) return {hr, subject, std::string(Text(kTxtNotARegularFile))};
  if (hr == kLocalFileUnreadable) return {E_ACCESSDENIED, subject, std::string(Text(kTxtUnreadable))};
  if (Failed(hr)) return message.empty() ? Refused(hr, subject) : CommandOutcome{hr, subject, message};
  std::cout << Text(kTxtUploaded) << " " << item.name << " (" << HumanSize(item.size) << ")" << std::endl;
  return {};
}

}  // namespace

HRESULT UploadLocalFile(DataStore& store, const ContainerInfo& folder, const fs::path& local, bool overwrite,
                        bool showProgress, ItemInfo& item, std::string& message) {
  if (!DescribeLocal(local, item)) return E_INVALIDARG;
  std::ifstream in(local, std::ios::binary);
  if (!in) return kLocalFileUnreadable;
  const auto started = std::chrono::steady_clock::now();
  HRESULT hr = store.CreateItem(folder, item, overwrite ? 1 : 0);
  if (Failed(hr)) return hr;
  if (Failed(hr = SendBlocks(store, item, in, showProgress, message))) return hr;
  if (Failed(hr = store.CompleteItem(item, overwrite ? 1 : 0))) return hr;

  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started);
  const auto* token = boost::any_cast<std::string>(&item.extraTag);
  // The report is for the service's statistics; its fate is not the user's.
  (void)store.ReportTransfer(0, 0, item.name, item.size, IdOf(folder.tag), IdOf(item.tag),
                             static_cast<std::uint64_t>(elapsed.count() / 100), token ? *token : std::string());
  return S_OK;
}

int RunVisitorPut(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args) {
  RemotePath target;
  if (!args.target.empty() && !ParsePathArg(args.target, target)) return kExitUsage;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    RemotePath path = target;
    if (args.target.empty()) path.view = stores.GetSession().accessCode ? RemoteView::kUpload : RemoteView::kMyDisk;
    DataStore* store = nullptr;
    RemoteEntry entry;
    if (CommandOutcome located = LocateEntry(stores, path, true, store, entry); Failed(located.status)) return located;
    for (const std::string& file : args.words) {
      if (CommandOutcome outcome = PutOne(*store, entry.container, file, args.overwrite); Failed(outcome.status))
        return outcome;
    }
    return {};
  });
}

}  // namespace korvex::cli
