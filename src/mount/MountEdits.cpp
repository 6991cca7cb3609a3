//===- mount/MountEdits.cpp - mkdir, rmdir, unlink and rename -------------===//
//
// Each maps to one store operation (two for a move under a new name). The
// rights are checked here first: the service would refuse too, but only
// after a round trip, and its refusal may not say "permission".

#include "mount/MountFs.h"

#include <unistd.h>

#include <cerrno>

namespace korvex::mount {

namespace {

// Folders and files directly in a view's root or below; the mount root and
// the views themselves cannot be made, removed or renamed.
bool IsEditable(const MountNode& node) { return node.kind == NodeKind::kFolder || node.kind == NodeKind::kFile; }

// "/a/b/c" -> "/a/b/"
std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

}  // namespace

int MountFs::MkDir(const char* path, mode_t) {
  try {
    MountFs& self = Self();
    MountNode folder;
    std::string leaf;
    if (const HRESULT hr = self.tree_.ResolveParent(path, folder, leaf); Failed(hr))
      return self.Refuse("mkdir", path, hr);
    MountNode existing;
    if (Succeeded(self.tree_.Resolve(path, existing))) return -EEXIST;
    if (!self.tree_.CanWriteIn(folder)) return -EACCES;
    ContainerInfo created;
    created.name = leaf;
    if (const HRESULT hr = folder.store->CreateContainer(folder.container, created); Failed(hr))
      return self.Refuse("mkdir", path, hr);
    return 0;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::RmDir(const char* path) {
  try {
    MountFs& self = Self();
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr)) return self.Refuse("rmdir", path, hr);
    if (!node.IsFolder()) return -ENOTDIR;
    if (!IsEditable(node)) return -EACCES;
    MountNode parent;
    std::string leaf;
    if (const HRESULT hr = self.tree_.ResolveParent(path, parent, leaf); Failed(hr))
      return self.Refuse("rmdir", path, hr);
    if (!self.tree_.CanWriteIn(parent)) return -EACCES;
    // The service deletes a folder with everything in it; rmdir must not.
    const EntryCounts counts = node.store->GetCounts(node.container, false);
    if (Failed(counts.status)) return self.Refuse("rmdir", path, counts.status);
    if (counts.containers + counts.items > 0) return -ENOTEMPTY;
    if (const HRESULT hr = node.store->DeleteContainer(node.container); Failed(hr))
      return self.Refuse("rmdir", path, hr);
    return 0;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Unlink(const char* path) {
  try {
    MountFs& self = Self();
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr)) return self.Refuse("unlink", path, hr);
    if (node.IsFolder()) return -EISDIR;
    MountNode parent;
    std::string leaf;
    if (const HRESULT hr = self.tree_.ResolveParent(path, parent, leaf); Failed(hr))
      return self.Refuse("unlink", path, hr);
    if (!self.tree_.CanWriteIn(parent)) return -EACCES;
    if (const HRESULT hr = node.store->DeleteItem(node.item); Failed(hr)) return self.Refuse("unlink", path, hr);
    return 0;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Rename(const char* from, const char* to, unsigned int flags) {
  try {
    MountFs& self = Self();
    if (flags & RENAME_EXCHANGE) return -EINVAL;
    if (std::string_view(from) == to) return 0;
    MountNode source, sourceParent, targetParent;
    std::string sourceLeaf, targetLeaf;
    if (const HRESULT hr = self.tree_.Resolve(from, source); Failed(hr)) return self.Refuse("rename", from, hr);
    if (!IsEditable(source)) return -EACCES;
    if (HRESULT hr = self.tree_.ResolveParent(from, sourceParent, sourceLeaf); Failed(hr))
      return self.Refuse("rename", from, hr);
    if (HRESULT hr = self.tree_.ResolveParent(to, targetParent, targetLeaf); Failed(hr))
      return self.Refuse("rename", to, hr);
    if (targetParent.store != source.store) return -EXDEV;
    if (!self.tree_.CanWriteIn(sourceParent) || !self.tree_.CanWriteIn(targetParent)) return -EACCES;
    if (source.IsFolder() && targetParent.container.uri.starts_with(source.container.uri)) return -EINVAL;
    // A file replaces a file, as rename(2) promises; the service moves only
    // onto a free name, so the old file is parked under another name first
    // and deleted only once the new one is in place.
    std::string parked;
    MountNode existing;
    if (Succeeded(self.tree_.Resolve(to, existing))) {
      if (flags & RENAME_NOREPLACE) return -EEXIST;
      if (existing.IsFolder() || source.IsFolder()) return existing.IsFolder() ? -EISDIR : -ENOTDIR;
      parked = "." + targetLeaf + ".replaced-" + std::to_string(::getpid()) + "-" + std::to_string(++self.nextWrite_);
      if (const HRESULT hr = existing.store->RenameItem(existing.item, parked); Failed(hr))
        return self.Refuse("rename", to, hr);
    }
    const HRESULT hr = self.MoveAndRename(source, sourceParent, targetParent, sourceLeaf, targetLeaf, to);
    if (!parked.empty()) self.SettleParked(FolderOf(to) + parked, targetLeaf, Succeeded(hr));
    return Failed(hr) ? self.Refuse("rename", from, hr) : 0;
  } catch (...) {
    return -EIO;
  }
}

HRESULT MountFs::MoveAndRename(const MountNode& source, const MountNode& sourceParent, const MountNode& targetParent,
                               const std::string& sourceLeaf, const std::string& targetLeaf, const std::string& to) {
  DataStore& store = *source.store;
  ContainerInfo folder = source.container;
  ItemInfo item = source.item;
  HRESULT hr = S_OK;
  if (targetParent.container.uri != sourceParent.container.uri) {
    hr = source.IsFolder() ? store.MoveContainer(folder, sourceParent.container, targetParent.container, 0)
                           : store.MoveItem(item, sourceParent.container, targetParent.container, 0);
  }
  if (Failed(hr) || targetLeaf == sourceLeaf) return hr;
  // Moved, then renamed in its new folder, found there afresh: the move may
  // have left the target's listing to be read again.
  MountNode moved;
  if (hr = tree_.Resolve(FolderOf(to) + sourceLeaf, moved); Failed(hr)) return hr;
  return moved.IsFolder() ? store.RenameContainer(moved.container, targetLeaf)
                          : store.RenameItem(moved.item, targetLeaf);
}

void MountFs::SettleParked(const std::string& parkedPath, const std::string& name, bool replaced) {
  MountNode parked;
  if (Failed(tree_.Resolve(parkedPath, parked))) return;
  // Replaced: the old file goes. Not replaced: it takes its name back, so
  // a failed rename loses nothing.
  const HRESULT hr = replaced ? parked.store->DeleteItem(parked.item) : parked.store->RenameItem(parked.item, name);
  if (Failed(hr)) (void)Refuse(replaced ? "remove replaced" : "restore", parkedPath, hr);
}

}  // namespace korvex::mount
