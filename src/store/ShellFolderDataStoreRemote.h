//===- store/ShellFolderDataStoreRemote.h - The local computer as a store -*- C++ -*-===//
///
/// Presents the user's computer as a store, so that the same DataStore,
/// browsing pane and transfer code serve local and remote folders alike.
/// Containers are folders (the desktop, the virtual Computer folder, the
/// mounted file systems, directories), items are regular files. Addresses
/// are paths of display names; ShellTree.h maps them to file-system paths.
/// Every operation runs on the thread pool (DataStoreRemoteImplBase).
///
/// Files on their way in are written under a name their transfer owns (the
/// item's `reserved` text, made by localfs::PartialFileName) through one
/// descriptor opened O_EXCL|O_NOFOLLOW, and get their final name only in
/// CompleteItem, so a half-written file never carries its final name and a
/// file of the user's ("notes.tmp") is never taken for one. A listing marks
/// only such owned names `partial`. A name ending in ".lock" (an encrypted
/// file) is listed `locked`. Hidden files (a leading ".") are listed, since
/// transfers and backups send whole trees; a store behind a pane follows
/// the "ShowHiddenFiles" setting instead. Links are never listed.
///
/// Sorting by name is left to DataStore (create it with sortNamesOnClient).
/// Moving and the service-only operations are not offered (E_NOTIMPL).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/DataStoreRemoteImplBase.h"
#include "store/ShellTree.h"

#include <atomic>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

/// A name the store will not create: it could reach outside its folder
/// (ERROR_INVALID_NAME).
inline constexpr HRESULT HR_INVALID_NAME = MakeHResult(0x8007007Bu);

/// The store's own failures of the transfer steps.
inline constexpr HRESULT HR_CANNOT_CREATE_PARTIAL = MakeHResult(0x80071B59u);
inline constexpr HRESULT HR_CANNOT_OPEN_FOR_WRITING = MakeHResult(0x80071F41u);
inline constexpr HRESULT HR_WRITE_INCOMPLETE = MakeHResult(0x80071F42u);
/// A read met the end of the file before the range it was asked for
/// (ERROR_HANDLE_EOF): the file shrank since it was measured.
inline constexpr HRESULT HR_FILE_SHRUNK = MakeHResult(0x80070026u);

/// HKCU value (under the product key) that shows hidden files when non-zero.
inline constexpr std::string_view kShowHiddenFilesValue = "ShowHiddenFiles";

/// What OpenItem of a file to be read hands out (in its value): the file's
/// size and last-write time now, so a transfer can tell that it changed.
struct LocalFileStamp {
  std::uint64_t size = 0;
  std::uint64_t modifyTime = 0;  ///< FILETIME
  bool operator==(const LocalFileStamp&) const = default;
};

class ShellFolderDataStoreRemote : public DataStoreRemoteImplBase {
 public:
  /// `rootName` names the root. `desktopPath` is the folder shown as the
  /// root (the user's home folder when empty). Work runs on `pool`
  /// (ThreadPool::Default() when null), which must outlive the store.
  explicit ShellFolderDataStoreRemote(std::string rootName, std::string desktopPath = {},
                                      ThreadPool* pool = nullptr);
  ~ShellFolderDataStoreRemote() override;

  /// Root: the root name, all rights (0xFFFF); "/" and kind 3 as created.
  [[nodiscard]] HRESULT InitializeRoot(Container* root) override;

  /// The file-system path of a store address; empty when it names none.
  [[nodiscard]] std::string MapPath(const std::string& uri) const { return tree_.MapPath(uri); }

  /// A store behind a pane lists hidden files only while "ShowHiddenFiles"
  /// is set; any other lists them always.
  void FollowShowHiddenSetting(bool follow) noexcept { followHiddenSetting_ = follow; }

 protected:
  [[nodiscard]] HRESULT DoListSubContainersAndItemCount(const ContainerInfo& container,
                                                        AsyncResult* result) override;
  [[nodiscard]] HRESULT DoListSubItems(const ContainerInfo& container, std::uint32_t start,
                                       std::uint32_t count, std::int32_t sortOrder,
                                       AsyncResult* result) override;
  /// HR_INVALID_NAME (logged) for a name that could leave the parent folder.
  [[nodiscard]] HRESULT DoCreateContainer(const ContainerInfo& parent,
                                          const ContainerInfo& newContainer,
                                          AsyncResult* result) override;
  /// Removes the folder and everything in it (there is no recycle bin).
  /// The root, the Computer folder, "/", the desktop folder and mount
  /// points are refused.
  [[nodiscard]] HRESULT DoDeleteContainer(const ContainerInfo& container,
                                          AsyncResult* result) override;
  /// Never replaces an existing entry (0x80070050).
  [[nodiscard]] HRESULT DoRenameContainer(const ContainerInfo& container,
                                          const std::string& newName,
                                          AsyncResult* result) override;
  /// Creates the partial file named by the item's `reserved` text, of the
  /// item's size. An existing file of the name is refused without
  /// `overrideFlag` (0x80070050) and otherwise kept until CompleteItem
  /// replaces it, so a transfer that fails loses nothing.
  [[nodiscard]] HRESULT DoCreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                     std::uint32_t overrideFlag, AsyncResult* result) override;
  [[nodiscard]] HRESULT DoOpenItem(const ItemInfo& item, bool forWriting,
                                   AsyncResult* result) override;
  [[nodiscard]] HRESULT DoDeleteItem(const ItemInfo& item, AsyncResult* result) override;
  [[nodiscard]] HRESULT DoRenameItem(const ItemInfo& item, const std::string& newName,
                                     AsyncResult* result) override;
  /// Flushes the partial file, gives it the item's modification time and
  /// its final name (replacing an existing file only with `overrideFlag`,
  /// and then with the replaced file's mode).
  [[nodiscard]] HRESULT DoCompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                       AsyncResult* result) override;
  [[nodiscard]] HRESULT DoReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                   std::uint32_t offsetHigh, std::uint32_t length,
                                   AsyncResult* result) override;
  [[nodiscard]] HRESULT DoWriteItem(const ItemInfo& item, std::unique_ptr<std::uint8_t[]> data,
                                    std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                    std::uint32_t length, AsyncResult* result) override;

 private:
  [[nodiscard]] bool ShowHiddenFiles() const;
  /// The item's file: while it is partial, the partial file named by its
  /// `reserved` text; empty when that name is missing or unsafe.
  [[nodiscard]] std::string ItemFilePath(const ItemInfo& item) const;
  /// The descriptor a partial file is written through: the one that created
  /// it, or (after a restart) one opened without following a link. Null,
  /// with errno set, on failure.
  [[nodiscard]] std::shared_ptr<int> PartialFd(const std::string& path, bool create);
  void ForgetPartial(const std::string& path);
  [[nodiscard]] HRESULT ListComputer(const ContainerInfo& container, AsyncResult* result);
  /// Refuses (HR_INVALID_NAME, logged) a name that could leave its folder.
  [[nodiscard]] HRESULT CheckName(const char* operation, const std::string& name) const;

  /// The files of `path` in directory order, from the last folder paged
  /// through when it has not changed since, else read afresh. Scrolling a
  /// folder of many files then reads it once instead of once per page.
  [[nodiscard]] HRESULT FilesOf(const std::string& path, bool showHidden,
                                std::shared_ptr<const std::vector<std::string>>& names);

  std::string rootName_;
  ShellTree tree_;
  std::atomic<bool> followHiddenSetting_{false};

  std::mutex partialsMutex_;  // guards partials_
  std::map<std::string, std::shared_ptr<int>> partials_;

  struct FolderFiles {
    std::string path;
    bool showHidden = false;
    timespec modified{};
    std::shared_ptr<const std::vector<std::string>> names;
  };
  std::mutex filesMutex_;  // guards lastFolder_
  FolderFiles lastFolder_;
};

}  // namespace korvex
