//===- mount/MountTree.h - Paths of the mount as store entries --*- C++ -*-===//
///
/// The mount shows the views of the session as top-level folders, named as
/// the desktop client names them ("My Disk", "Share for Me", "My Backup",
/// "VEZO Space"), and below each the folders and files of its DataStore.
/// A path is resolved by listing each folder on the way down through the
/// store, so its cache answers the next lookup; rows of a folder are read
/// one position at a time, so a folder of 100,000 files is read page by page
/// as the reader asks, not fetched whole first.
///
/// Rights: a folder's privilege mask gives its permission bits and those of
/// the files it holds (0x20 download: readable, 0x40 upload: writable);
/// a read-only mount drops every write bit.
///
/// Threads: any thread may resolve; the stores are opened by Open(), before
/// the file system serves its first call, because the session makes them
/// lazily without a lock.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "session/SessionStores.h"
#include "store/DataStore.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::mount {

enum class NodeKind { kMountRoot, kViewRoot, kFolder, kFile, kEmptyView };

/// One resolved path.
struct MountNode {
  NodeKind kind = NodeKind::kMountRoot;
  DataStore* store = nullptr;  ///< null for the mount root and an empty view
  ContainerInfo container;     ///< a view root or folder
  ItemInfo item;               ///< a file
  ContainerInfo parent;        ///< the folder holding a file or folder
  [[nodiscard]] bool IsFolder() const { return kind != NodeKind::kFile; }
};

/// Rights bits of a privilege mask.
inline constexpr std::uint32_t kRightDownload = 0x20;
inline constexpr std::uint32_t kRightUpload = 0x40;

/// One row of a folder listing.
struct MountRow {
  std::string name;
  struct stat attributes {};
};

class MountTree {
 public:
  MountTree(session::SessionStores& stores, bool readOnly);

  /// Opens the store of every view of the session. Fails only when no view
  /// opens; a view that fails later is left out (and logged).
  [[nodiscard]] HRESULT Open();

  /// HR_FILE_NOT_FOUND when a name on the way is missing (or a file stands
  /// where a folder is needed); a listing's own failure as it is.
  [[nodiscard]] HRESULT Resolve(std::string_view path, MountNode& node);
  /// The folder that would hold `path` and the last name of `path`.
  [[nodiscard]] HRESULT ResolveParent(std::string_view path, MountNode& parent, std::string& leaf);

  /// The row at `position` of a folder node; S_FALSE past the last row.
  [[nodiscard]] HRESULT RowAt(const MountNode& folder, std::int64_t position, MountRow& row);

  /// Attributes of a resolved node.
  [[nodiscard]] struct stat Attributes(const MountNode& node) const;
  /// May the user add, remove or rename entries in `folder`?
  [[nodiscard]] bool CanWriteIn(const MountNode& folder) const;
  /// May the user read the files of `folder`?
  [[nodiscard]] static bool CanReadIn(const ContainerInfo& folder);

  /// Drops the listing of `folder` when it was last read more than a few
  /// seconds ago, so a new `ls` sees what others changed meanwhile.
  void RefreshIfStale(const MountNode& folder);

  /// The name a container is reached by: its address's last component (a
  /// shared folder's display name carries a rights label).
  [[nodiscard]] static std::string NameOf(const ContainerInfo& container);

 private:
  struct View {
    std::string name;
    DataStore* store = nullptr;  ///< null for a view that lists nothing
    ContainerInfo root;
  };
  [[nodiscard]] HRESULT Child(DataStore& store, const ContainerInfo& folder, const std::string& name, bool wantAll,
                              MountNode& node);
  [[nodiscard]] struct stat FolderAttributes(const ContainerInfo& folder) const;

  session::SessionStores& stores_;
  const bool readOnly_;
  const timespec mountedAt_;  // the service keeps no folder times
  std::vector<View> views_;
  std::mutex listedMutex_;
  std::map<std::string, std::chrono::steady_clock::time_point> listedAt_;  // by store and address
};

/// Splits "/a/b/c" into its names; empty for "/".
[[nodiscard]] std::vector<std::string> SplitPath(std::string_view path);

}  // namespace korvex::mount
