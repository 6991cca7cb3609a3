//===- mount/MountFs.h - The file system's state and calls ------*- C++ -*-===//
///
/// What the FUSE calls share: the tree of views, the block cache, the
/// read-ahead, the files being written and the failure log. libfuse calls
/// the static members on its own threads and hands this object back as the
/// context's private data. Every call answers 0 or a negative errno and
/// lets nothing escape: libfuse is C.
///
/// A file opened for writing lives in a local file until it is flushed
/// (close): then it goes up as one upload, and the close reports how that
/// ended. Meanwhile its path answers with the local file's size.
///
//===----------------------------------------------------------------------===//
#pragma once

#define FUSE_USE_VERSION 312
#include <fuse.h>

#include "mount/BlockCache.h"
#include "mount/ErrnoMap.h"
#include "mount/Mount.h"
#include "mount/MountTree.h"
#include "mount/ReadAhead.h"
#include "mount/RemoteFile.h"
#include "platform/SystemError.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace korvex::mount {

/// One open file: a reader, or a local file being written.
struct OpenFile {
  std::shared_ptr<RemoteFile> reader;
  std::string path;        ///< the mount path, for the log and for lookups while writing
  int fd = -1;             ///< the local file, when writing
  std::filesystem::path local;
  DataStore* store = nullptr;
  ContainerInfo folder;    ///< where the upload goes
  bool dirty = false;
};

class MountFs {
 public:
  MountFs(session::SessionStores& stores, const MountSettings& settings, Uploader uploader);

  [[nodiscard]] HRESULT Prepare();
  void Shutdown();
  [[nodiscard]] static fuse_operations Operations();

 private:
  static MountFs& Self();

  // Reading (MountFs.cpp)
  static void* Init(fuse_conn_info* conn, fuse_config* config);
  static int GetAttr(const char* path, struct stat* st, fuse_file_info* fi);
  static int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info* fi,
                     fuse_readdir_flags flags);
  static int Open(const char* path, fuse_file_info* fi);
  static int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi);
  static int StatFs(const char* path, struct statvfs* st);
  // Editing (MountEdits.cpp)
  static int MkDir(const char* path, mode_t mode);
  static int RmDir(const char* path);
  static int Unlink(const char* path);
  static int Rename(const char* from, const char* to, unsigned int flags);
  // Writing (MountWrites.cpp)
  static int Create(const char* path, mode_t mode, fuse_file_info* fi);
  static int Write(const char* path, const char* data, size_t size, off_t offset, fuse_file_info* fi);
  static int Truncate(const char* path, off_t size, fuse_file_info* fi);
  static int Flush(const char* path, fuse_file_info* fi);
  static int Release(const char* path, fuse_file_info* fi);
  static int Utimens(const char* path, const struct timespec tv[2], fuse_file_info* fi);
  static int Chmod(const char* path, mode_t mode, fuse_file_info* fi);

  [[nodiscard]] HRESULT MoveAndRename(const MountNode& source, const MountNode& sourceParent,
                                      const MountNode& targetParent, const std::string& sourceLeaf,
                                      const std::string& targetLeaf, const std::string& to);
  /// Deletes the file parked at `parkedPath` when it was replaced, else
  /// gives it its name back.
  void SettleParked(const std::string& parkedPath, const std::string& name, bool replaced);
  int OpenForWriting(const std::string& path, const MountNode& folder, const std::string& name,
                     const MountNode* existing, fuse_file_info* fi);
  int Upload(OpenFile& file);
  /// The account's used and total bytes, asked of the service now and then.
  [[nodiscard]] bool Space(std::uint64_t& used, std::uint64_t& total);
  /// This process's folder of files being written.
  [[nodiscard]] std::filesystem::path WritesDir() const;
  /// The size of a file being written at `path`, if one is.
  [[nodiscard]] bool WritingSize(const std::string& path, off_t& size);
  [[nodiscard]] int Refuse(const char* what, const std::string& path, HRESULT status) {
    return failures_.Report(what, path, status);
  }

  MountSettings settings_;
  session::SessionStores& stores_;
  MountTree tree_;
  BlockCache cache_;
  ReadAhead readAhead_;
  FailureLog failures_;
  Uploader uploader_;
  std::mutex writingMutex_;
  std::multimap<std::string, OpenFile*> writing_;
  std::atomic<std::uint64_t> nextWrite_{0};
  DataStore* spaceStore_ = nullptr;  // the own disk, whose service answers for the account
  std::mutex spaceMutex_;
  std::chrono::steady_clock::time_point spaceAt_{};
  std::uint64_t spaceUsed_ = 0;
  std::uint64_t spaceTotal_ = 0;
};

}  // namespace korvex::mount
