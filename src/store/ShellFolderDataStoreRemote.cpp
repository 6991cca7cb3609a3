//===- store/ShellFolderDataStoreRemote.cpp - Root and listings -----------===//

#include "store/ShellFolderDataStoreRemote.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "platform/AsciiText.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "store/LocalFileSystem.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "ShellFolderDataStoreRemote";
constexpr const char* kListCategory = "Shell::ListSubContainersAndItemCount";
constexpr const char* kItemsCategory = "Shell::ListSubItems";
constexpr std::time_t kSettledSeconds = 2;

std::string ErrorText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hr));
  return text;
}

std::unique_ptr<Container> NewContainer(const ContainerInfo& parent, std::string name) {
  auto container = std::make_unique<Container>();
  container->info.uri = parent.uri + name + "/";
  container->info.name = std::move(name);
  return container;
}

// Fills an item from its file; false when the file went away meanwhile.
bool FillItem(const ContainerInfo& parent, const std::string& folder, std::string_view fileName,
              ItemInfo& info) {
  const std::string path = folder + "/" + std::string(fileName);
  struct statx meta {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
              &meta) != 0) {
    return false;
  }
  std::string name(fileName);
  // Only a download's own partial file is unfinished; "notes.tmp" is a file.
  if (localfs::IsPartialFileName(name)) info.partial = 1;
  info.locked = EndsWithIgnoringAsciiCase(name, ".lock") ? 1 : 0;
  info.uri = parent.uri + name;
  info.name = std::move(name);
  info.size = meta.stx_size;
  info.modifyTime = localfs::FileTimeFromTimespec({meta.stx_mtime.tv_sec, meta.stx_mtime.tv_nsec});
  // Not every file system keeps a birth time; the last write stands in.
  const auto& born = (meta.stx_mask & STATX_BTIME) ? meta.stx_btime : meta.stx_mtime;
  info.createTime = localfs::FileTimeFromTimespec({born.tv_sec, born.tv_nsec});
  return true;
}

}  // namespace

ShellFolderDataStoreRemote::ShellFolderDataStoreRemote(std::string rootName,
                                                       std::string desktopPath, ThreadPool* pool)
    : DataStoreRemoteImplBase(kCategory, pool),
      rootName_(std::move(rootName)),
      tree_(desktopPath.empty() ? paths::HomeDir().string() : std::move(desktopPath)) {}

// The Do operations use the tree: no call may still run once it is gone.
ShellFolderDataStoreRemote::~ShellFolderDataStoreRemote() { DrainCalls(); }

HRESULT ShellFolderDataStoreRemote::InitializeRoot(Container* root) {
  if (root == nullptr) return E_POINTER;
  root->info.name = rootName_;
  root->info.privilege = kPrivilegeAll;
  root->info.smallIcon = -1;
  root->info.openIcon = -1;
  return S_OK;
}

bool ShellFolderDataStoreRemote::ShowHiddenFiles() const {
  // The setting decides what a pane shows, never what a transfer sends.
  if (!followHiddenSetting_) return true;
  return ReadDword(Hive::CurrentUser, kProductKey, kShowHiddenFilesValue, 0) != 0;
}

HRESULT ShellFolderDataStoreRemote::CheckName(const char* operation,
                                              const std::string& name) const {
  if (localfs::IsSafeEntryName(name)) return S_OK;
  LogMgr::Get().Error(kCategory, "%s: refused the name \"%s\": it would leave its folder",
                      operation, name.c_str());
  // Its own code: retrying cannot help, so a transfer stops on it.
  return HR_INVALID_NAME;
}

std::string ShellFolderDataStoreRemote::ItemFilePath(const ItemInfo& item) const {
  std::string path = tree_.MapPath(item.uri);
  if (path.empty() || !item.partial) return path;
  // The partial file is the transfer's own name, never one guessed from the
  // final name, which could be a file of the user's.
  if (!localfs::IsSafeEntryName(item.reserved)) return {};
  return localfs::ParentFolder(path) + "/" + item.reserved;
}

HRESULT ShellFolderDataStoreRemote::ListComputer(const ContainerInfo& container,
                                                 AsyncResult* result) {
  auto containers = std::make_unique<std::vector<Container*>>();
  std::vector<std::unique_ptr<Container>> owned;
  for (ShellTree::Node& mount : tree_.RefreshMounts()) {
    owned.push_back(NewContainer(container, std::move(mount.displayName)));
  }
  containers->reserve(owned.size());
  for (auto& child : owned) containers->push_back(child.release());
  result->SetPayload(ListSubContainersPayload(S_OK, containers.release(), 0));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoListSubContainersAndItemCount(const ContainerInfo& container,
                                                                    AsyncResult* result) {
  if (ShellTree::IsComputer(container.uri)) return ListComputer(container, result);
  const std::string path = tree_.MapPath(container.uri);
  std::vector<std::unique_ptr<Container>> owned;
  const bool atRoot = container.uri == "/";
  if (atRoot) {
    auto computer = NewContainer(container, std::string(kComputerDisplayName));
    computer->info.kind = kContainerRoot;
    computer->info.privilege = kPrivilegeVirtual;
    owned.push_back(std::move(computer));
  }
  std::int32_t items = 0;
  HRESULT hr = path.empty() ? E_INVALIDARG : S_OK;
  if (Succeeded(hr)) {
    hr = localfs::EnumerateFolder(path, ShowHiddenFiles(), [&](std::string_view name, localfs::EntryType type) {
      if (type == localfs::EntryType::kFile) {
        ++items;
      } else if (!(atRoot && name == kComputerDisplayName)) {
        // A home folder named like the virtual one would be unreachable.
        owned.push_back(NewContainer(container, std::string(name)));
      }
      return true;
    });
  }
  if (Failed(hr)) {
    LogMgr::Get().Error(kListCategory, " container.uri = %s path = %s error = %s",
                        container.uri.c_str(), path.c_str(), ErrorText(hr).c_str());
    return hr;
  }
  auto containers = std::make_unique<std::vector<Container*>>();
  containers->reserve(owned.size());
  for (auto& child : owned) containers->push_back(child.release());
  result->SetPayload(ListSubContainersPayload(S_OK, containers.release(), items));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoListSubItems(const ContainerInfo& container,
                                                   std::uint32_t start, std::uint32_t count,
                                                   std::int32_t /*sortOrder*/,
                                                   AsyncResult* result) {
  if (ShellTree::IsComputer(container.uri)) {
    result->SetPayload(ListSubItemsPayload(S_OK, new std::vector<Item*>()));
    return S_OK;
  }
  const std::string path = tree_.MapPath(container.uri);
  if (path.empty()) return E_INVALIDARG;
  if (count == 0) {
    result->SetPayload(ListSubItemsPayload(S_OK, new std::vector<Item*>()));
    return S_OK;
  }
  std::shared_ptr<const std::vector<std::string>> files;
  if (const HRESULT hr = FilesOf(path, ShowHiddenFiles(), files); Failed(hr)) {
    LogMgr::Get().Error(kItemsCategory, "  error = %s", ErrorText(hr).c_str());
    return hr;
  }
  const std::size_t first = std::min<std::size_t>(start, files->size());
  const std::size_t last = std::min<std::size_t>(first + count, files->size());
  const std::vector<std::string> page(files->begin() + static_cast<std::ptrdiff_t>(first),
                                      files->begin() + static_cast<std::ptrdiff_t>(last));
  std::vector<std::unique_ptr<Item>> owned;
  owned.reserve(page.size());
  for (const std::string& name : page) {
    auto item = std::make_unique<Item>();
    // A file removed since it was counted is left out; the next refresh
    // counts again.
    if (FillItem(container, path, name, item->info)) owned.push_back(std::move(item));
  }
  auto items = std::make_unique<std::vector<Item*>>();
  items->reserve(owned.size());
  for (auto& item : owned) items->push_back(item.release());
  result->SetPayload(ListSubItemsPayload(S_OK, items.release()));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::FilesOf(const std::string& path, bool showHidden,
                                            std::shared_ptr<const std::vector<std::string>>& names) {
  struct stat folder {};
  if (::stat(path.c_str(), &folder) != 0) return HResultFromLastErrno();
  // A folder changed within the last seconds may change again within the
  // same time stamp (some file systems count whole seconds): read it afresh.
  const bool settled = folder.st_mtim.tv_sec + kSettledSeconds < std::time(nullptr);
  {
    std::lock_guard<std::mutex> lock(filesMutex_);
    if (settled && lastFolder_.names && lastFolder_.path == path &&
        lastFolder_.showHidden == showHidden && lastFolder_.modified.tv_sec == folder.st_mtim.tv_sec &&
        lastFolder_.modified.tv_nsec == folder.st_mtim.tv_nsec) {
      names = lastFolder_.names;
      return S_OK;
    }
  }
  auto files = std::make_shared<std::vector<std::string>>();
  const HRESULT hr = localfs::EnumerateFolder(path, showHidden, [&](std::string_view name, localfs::EntryType type) {
    if (type == localfs::EntryType::kFile) files->emplace_back(name);
    return true;
  });
  if (Failed(hr)) return hr;
  names = files;
  std::lock_guard<std::mutex> lock(filesMutex_);
  lastFolder_ = {path, showHidden, folder.st_mtim, std::move(files)};
  return S_OK;
}

}  // namespace korvex
