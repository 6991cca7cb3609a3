//===- mount/MountTree.cpp - Paths of the mount as store entries ----------===//

#include "mount/MountTree.h"

#include "foundation/LogMgr.h"
#include "foundation/StringTable.h"

#include <unistd.h>

#include <ctime>

namespace korvex::mount {

namespace {

constexpr const char* kCategory = "Mount";
// A listing older than this is read again when a folder is listed afresh.
constexpr auto kListingLifetime = std::chrono::seconds(5);
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

timespec TimeOf(std::uint64_t fileTime) {
  if (fileTime < kUnixEpochAsFileTime) return {0, 0};
  const std::uint64_t since = fileTime - kUnixEpochAsFileTime;
  return {static_cast<time_t>(since / 10000000ull), static_cast<long>(since % 10000000ull) * 100};
}

struct stat BaseAttributes() {
  struct stat st {};
  st.st_uid = ::getuid();
  st.st_gid = ::getgid();
  st.st_nlink = 1;
  return st;
}

}  // namespace

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < path.size()) {
    const std::size_t slash = path.find('/', at);
    const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
    if (end > at) names.emplace_back(path.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

std::string MountTree::NameOf(const ContainerInfo& container) {
  std::string uri = container.uri;
  if (!uri.empty() && uri.back() == '/') uri.pop_back();
  return uri.substr(uri.rfind('/') + 1);
}

MountTree::MountTree(session::SessionStores& stores, bool readOnly)
    : stores_(stores), readOnly_(readOnly), mountedAt_{::time(nullptr), 0} {}

HRESULT MountTree::Open() {
  using session::RemoteView;
  struct Wanted {
    RemoteView view;
    unsigned name;
  };
  std::vector<Wanted> wanted{{RemoteView::kUpload, kIdsRootMyUploading}};
  if (!stores_.GetSession().accessCode)
    wanted = {{RemoteView::kMyDisk, kIdsRootMyDisk}, {RemoteView::kShares, kIdsRootShareForMe},
              {RemoteView::kBackup, kIdsRootMyBackup}};
  HRESULT first = S_OK;
  for (const Wanted& w : wanted) {
    HRESULT hr = S_OK;
    DataStore* store = stores_.Store(w.view, hr);
    if (store == nullptr) {
      if (views_.empty()) first = hr;
      LogMgr::Get().Warn(kCategory, "%s could not be opened: 0x%08x", std::string(UiString(w.name)).c_str(),
                         static_cast<unsigned>(hr));
      continue;
    }
    views_.push_back({std::string(UiString(w.name)), store, store->RootInfo()});
  }
  if (views_.empty()) return Failed(first) ? first : E_FAIL;
  // The login answer names no VEZO folder: the view is there, and empty.
  if (!stores_.GetSession().accessCode) {
    View vezo{std::string(UiString(kIdsRootVezoSpace)), nullptr, {}};
    vezo.root.uri = "/" + vezo.name + "/";
    vezo.root.kind = kContainerVezo;
    vezo.root.privilege = 0x8A0;
    views_.push_back(std::move(vezo));
  }
  return S_OK;
}

HRESULT MountTree::Child(DataStore& store, const ContainerInfo& folder, const std::string& name, bool wantAll,
                         MountNode& node) {
  const EntryCounts counts = store.GetCounts(folder, false);
  if (Failed(counts.status)) return counts.status;
  node.store = &store;
  node.parent = folder;
  if (store.GetContainerInfo(folder.uri + name + "/", node.container)) {
    node.kind = NodeKind::kFolder;
    return S_OK;
  }
  if (!store.GetItemInfo(folder.uri + name, node.item)) {
    // Only the pages read so far are known: a file further down is found
    // once every item record is there.
    if (!wantAll || counts.items <= 0 || store.AreAllItemsFetched(folder.uri)) return HR_FILE_NOT_FOUND;
    if (const HRESULT hr = store.SortItems(folder, counts.items, false); Failed(hr)) return hr;
    if (!store.GetItemInfo(folder.uri + name, node.item)) return HR_FILE_NOT_FOUND;
  }
  node.kind = NodeKind::kFile;
  return S_OK;
}

HRESULT MountTree::Resolve(std::string_view path, MountNode& node) {
  const std::vector<std::string> names = SplitPath(path);
  node = MountNode{};
  if (names.empty()) return S_OK;
  const View* view = nullptr;
  for (const View& v : views_)
    if (v.name == names.front()) view = &v;
  if (view == nullptr) return HR_FILE_NOT_FOUND;
  node.kind = view->store ? NodeKind::kViewRoot : NodeKind::kEmptyView;
  node.store = view->store;
  node.container = view->root;
  if (view->store == nullptr) return names.size() == 1 ? S_OK : HR_FILE_NOT_FOUND;
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (node.kind == NodeKind::kFile) return HR_FILE_NOT_FOUND;
    const ContainerInfo folder = node.container;
    if (const HRESULT hr = Child(*view->store, folder, names[i], true, node); Failed(hr)) return hr;
  }
  return S_OK;
}

HRESULT MountTree::ResolveParent(std::string_view path, MountNode& parent, std::string& leaf) {
  std::vector<std::string> names = SplitPath(path);
  if (names.empty()) return E_INVALIDARG;
  leaf = names.back();
  names.pop_back();
  std::string above;
  for (const std::string& name : names) above += "/" + name;
  if (const HRESULT hr = Resolve(above, parent); Failed(hr)) return hr;
  return parent.IsFolder() ? S_OK : HR_FILE_NOT_FOUND;
}

HRESULT MountTree::RowAt(const MountNode& folder, std::int64_t position, MountRow& row) {
  if (position < 0) return E_INVALIDARG;
  if (folder.kind == NodeKind::kMountRoot) {
    if (position >= static_cast<std::int64_t>(views_.size())) return S_FALSE;
    const View& view = views_[static_cast<std::size_t>(position)];
    row.name = view.name;
    row.attributes = FolderAttributes(view.root);
    return S_OK;
  }
  if (folder.store == nullptr || folder.kind == NodeKind::kFile) return S_FALSE;
  const EntryCounts counts = folder.store->GetCounts(folder.container, false);
  if (Failed(counts.status)) return counts.status;
  if (position >= counts.containers + counts.items) return S_FALSE;
  EntryAt entry = folder.store->GetEntryAt(folder.container, static_cast<std::int32_t>(position), false);
  if (Failed(entry.status)) return entry.status;
  if (entry.record->kind == kObjectContainer) {
    const auto& child = static_cast<const ContainerInfo&>(*entry.record);
    row.name = NameOf(child);
    row.attributes = FolderAttributes(child);
  } else {
    MountNode file;
    file.kind = NodeKind::kFile;
    file.item = static_cast<const ItemInfo&>(*entry.record);
    file.parent = folder.container;
    row.name = file.item.name;
    row.attributes = Attributes(file);
  }
  return S_OK;
}

bool MountTree::CanReadIn(const ContainerInfo& folder) {
  return (folder.privilege & kRightDownload) != 0 || folder.privilege == kPrivilegeAll;
}

bool MountTree::CanWriteIn(const MountNode& folder) const {
  if (readOnly_ || folder.store == nullptr || !folder.IsFolder()) return false;
  // The shares view lists other users' folders; nothing of one's own goes there.
  if (folder.kind == NodeKind::kViewRoot && folder.container.kind == kContainerShared) return false;
  return (folder.container.privilege & kRightUpload) != 0;
}

struct stat MountTree::FolderAttributes(const ContainerInfo& folder) const {
  struct stat st = BaseAttributes();
  // Every folder the user sees can be listed; the download right is about
  // the files in it.
  st.st_mode = S_IFDIR | 0555;
  st.st_mtim = st.st_ctim = st.st_atim = mountedAt_;
  if (!readOnly_ && (folder.privilege & kRightUpload) != 0) st.st_mode |= 0200;
  st.st_nlink = 2;
  st.st_size = 4096;
  return st;
}

struct stat MountTree::Attributes(const MountNode& node) const {
  if (node.kind == NodeKind::kMountRoot) {
    struct stat st = BaseAttributes();
    st.st_mode = S_IFDIR | 0555;
    st.st_nlink = 2;
    st.st_mtim = st.st_ctim = st.st_atim = mountedAt_;
    return st;
  }
  if (node.IsFolder()) return FolderAttributes(node.container);
  struct stat st = BaseAttributes();
  st.st_mode = S_IFREG;
  if (CanReadIn(node.parent)) st.st_mode |= 0444;
  if (!readOnly_ && (node.parent.privilege & kRightUpload) != 0) st.st_mode |= 0200;
  st.st_size = static_cast<off_t>(node.item.size);
  st.st_blocks = static_cast<blkcnt_t>((node.item.size + 511) / 512);
  st.st_mtim = TimeOf(node.item.modifyTime);
  st.st_ctim = st.st_mtim;
  st.st_atim = st.st_mtim;
  return st;
}

void MountTree::RefreshIfStale(const MountNode& folder) {
  if (folder.store == nullptr || !folder.IsFolder()) return;
  const std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(folder.store)) + folder.container.uri;
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> lock(listedMutex_);
    auto [it, fresh] = listedAt_.emplace(key, now);
    if (fresh || now - it->second < kListingLifetime) return;
    it->second = now;
  }
  folder.store->InvalidateContainer(folder.container);
}

}  // namespace korvex::mount
