//===- mount/Mount.h - The cloud disk as a folder ---------------*- C++ -*-===//
///
/// Serves the views of a logged-in session as a FUSE file system until it is
/// unmounted (`fusermount3 -u`, Ctrl-C or SIGTERM), then returns. Reads go
/// by range through the block protocol into a bounded on-disk cache; writes
/// go to local files that are uploaded when the writer closes them, by the
/// front end's uploader (a file task, so that they show among the account's
/// transfers). Nothing is written under a read-only mount.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "session/SessionStores.h"
#include "store/DataStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace korvex::mount {

struct MountSettings {
  std::filesystem::path mountpoint;
  bool readOnly = false;
  /// Blocks go under "blocks", files being written under "writes/PID".
  std::filesystem::path cacheDir;
  std::uint64_t cacheSize = std::uint64_t{1} << 30;
  /// Longest wait for one answer of the service before a read fails (EIO).
  std::uint32_t timeoutMs = 60000;
  /// libfuse's own trace of every call, on standard error.
  bool debug = false;
  /// Hears each failure once per file ("read /My Disk/a.bin: Input/output
  /// error (0x80072efd)"), besides the log.
  std::function<void(const std::string& line)> tell;
};

/// Uploads the regular file `local` into `folder` of `store` under its own
/// file name, replacing a file of that name; blocks until the upload ended.
/// `message` may carry the service's words on failure.
using Uploader = std::function<HRESULT(DataStore& store, const ContainerInfo& folder,
                                       const std::filesystem::path& local, std::string& message)>;

/// "$XDG_CACHE_HOME/korvex/mount" or "~/.cache/korvex/mount";
/// "$KORVEX_HOME/cache/mount" when KORVEX_HOME is set.
[[nodiscard]] std::filesystem::path DefaultCacheDir();

/// Mounts and serves until unmounted. `mounted` is called once the mount is
/// in place. E_INVALIDARG for a mount point that is not an empty folder,
/// E_FAIL when the kernel refused the mount (no /dev/fuse, no right).
[[nodiscard]] HRESULT RunMount(session::SessionStores& stores, const MountSettings& settings, Uploader uploader,
                               const std::function<void()>& mounted);

}  // namespace korvex::mount
