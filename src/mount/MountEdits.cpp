//===- mount/MountEdits.cpp - mkdir, rmdir, unlink and rename -------------===//
//
// Each maps to one store operation (two for a move under a new name). The
// rights are checked here first: the service would refuse too, but only
// after a round trip, and its refusal may not say "permission".

#include "mount/MountFs.h"

#include <cerrno>

namespace korvex::mount {

namespace {

// Folders and files directly in a view's root or below; the mount root and
// the views themselves cannot be made, removed or renamed.
bool IsEditable(const MountNode& node) { return node.kind == NodeKind::kFolder || node.kind == NodeKind::kFile; }

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
    MountNode existing;
    if (Succeeded(self.tree_.Resolve(to, existing))) {
      if (flags & RENAME_NOREPLACE) return -EEXIST;
      if (existing.IsFolder() || source.IsFolder()) return existing.IsFolder() ? -EISDIR : -ENOTDIR;
      // A file replaces a file, as rename(2) promises; the service moves
      // only onto a free name.
      if (const HRESULT hr = existing.store->DeleteItem(existing.item); Failed(hr)) return self.Refuse("rename", to, hr);
    }
    DataStore& store = *source.store;
    const bool moves = targetParent.container.uri != sourceParent.container.uri;
    HRESULT hr = S_OK;
    if (moves && source.IsFolder()) hr = store.MoveContainer(source.container, sourceParent.container,
                                                              targetParent.container, 0);
    else if (moves) hr = store.MoveItem(source.item, sourceParent.container, targetParent.container, 0);
    if (Failed(hr)) return self.Refuse("rename", from, hr);
    if (targetLeaf == sourceLeaf) return 0;
    // Moved, then renamed in its new folder, found there afresh: the move
    // may have left the target's listing to be read again.
    const std::string target(to);
    MountNode moved;
    if (hr = self.tree_.Resolve(target.substr(0, target.rfind('/') + 1) + sourceLeaf, moved); Failed(hr))
      return self.Refuse("rename", to, hr);
    hr = moved.IsFolder() ? store.RenameContainer(moved.container, targetLeaf) : store.RenameItem(moved.item, targetLeaf);
    return Failed(hr) ? self.Refuse("rename", to, hr) : 0;
  } catch (...) {
    return -EIO;
  }
}

}  // namespace korvex::mount
