//===- mount/MountFs.cpp - Mounting, attributes, listings and reads -------===//

#include "mount/MountFs.h"

#include "foundation/LogMgr.h"
#include "platform/Paths.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/WindowRequests.h"
#include "store/AwaitedResult.h"

#include <sys/statvfs.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvex::mount {

namespace fs = std::filesystem;

namespace {
constexpr const char* kCategory = "Mount";
// Readdir offsets: 1 and 2 are "." and "..", row N of the folder is N + 3.
constexpr off_t kFirstRowOffset = 3;
}  // namespace

fs::path DefaultCacheDir() {
  if (const char* home = std::getenv("KORVEX_HOME"); home && *home) return fs::path(home) / "cache" / "mount";
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) return fs::path(xdg) / "korvex" / "mount";
  return paths::HomeDir() / ".cache" / "korvex" / "mount";
}

MountFs::MountFs(session::SessionStores& stores, const MountSettings& settings, Uploader uploader)
    : settings_(settings),
      stores_(stores),
      tree_(stores, settings.readOnly),
      cache_(settings.cacheDir / "blocks", settings.cacheSize),
      failures_(settings.tell),
      uploader_(std::move(uploader)) {}

HRESULT MountFs::Prepare() {
  if (const HRESULT hr = tree_.Open(); Failed(hr)) return hr;
  HRESULT opened = S_OK;
  if (!stores_.GetSession().accessCode) spaceStore_ = stores_.Store(session::RemoteView::kMyDisk, opened);
  if (const HRESULT hr = cache_.Open(); Failed(hr)) return hr;
  // Files written through a mount that died were never uploaded; they are
  // not the user's only copy (the writer had its own), so they go. Another
  // mount sharing this cache folder keeps its own.
  std::error_code ec;
  const fs::path writes = settings_.cacheDir / "writes";
  for (auto it = fs::directory_iterator(writes, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const pid_t owner = static_cast<pid_t>(std::atoi(it->path().filename().c_str()));
    if (owner <= 0 || (::kill(owner, 0) != 0 && errno == ESRCH)) fs::remove_all(it->path(), ec);
  }
  ec.clear();
  fs::create_directories(WritesDir(), ec);
  return ec ? HResultFromErrno(ec.value()) : S_OK;
}

fs::path MountFs::WritesDir() const { return settings_.cacheDir / "writes" / std::to_string(::getpid()); }

void MountFs::Shutdown() {
  readAhead_.Stop();
  std::error_code ec;
  fs::remove_all(WritesDir(), ec);
}

MountFs& MountFs::Self() { return *static_cast<MountFs*>(fuse_get_context()->private_data); }

fuse_operations MountFs::Operations() {
  fuse_operations ops{};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  ops.statfs = StatFs;
  ops.mkdir = MkDir;
  ops.rmdir = RmDir;
  ops.unlink = Unlink;
  ops.rename = Rename;
  ops.create = Create;
  ops.write = Write;
  ops.truncate = Truncate;
  ops.flush = Flush;
  ops.release = Release;
  ops.utimens = Utimens;
  ops.chmod = Chmod;
  return ops;
}

void* MountFs::Init(fuse_conn_info* conn, fuse_config* config) {
  // Attributes and names are the store's cache: the kernel may keep them a
  // moment, not longer, so changes made elsewhere show soon.
  config->entry_timeout = 1.0;
  config->attr_timeout = 1.0;
  config->negative_timeout = 0.0;
  config->use_ino = 0;
  // `ls -l` of a large folder gets names and attributes in one go.
  if (conn->capable & FUSE_CAP_READDIRPLUS) conn->want |= FUSE_CAP_READDIRPLUS;
  conn->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
  return fuse_get_context()->private_data;
}

int MountFs::GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
  try {
    MountFs& self = Self();
    off_t size = 0;
    if ((fi != nullptr && fi->fh != 0 && reinterpret_cast<OpenFile*>(fi->fh)->fd >= 0) ||
        self.WritingSize(path, size)) {
      if (fi != nullptr && fi->fh != 0) {
        struct stat local {};
        if (::fstat(reinterpret_cast<OpenFile*>(fi->fh)->fd, &local) == 0) size = local.st_size;
      }
      MountNode folder;
      std::string leaf;
      if (const HRESULT hr = self.tree_.ResolveParent(path, folder, leaf); Failed(hr))
        return self.Refuse("stat", path, hr);
      MountNode file;
      file.kind = NodeKind::kFile;
      file.parent = folder.container;
      file.item.size = static_cast<std::uint64_t>(size);
      *st = self.tree_.Attributes(file);
      st->st_mtim = st->st_ctim = st->st_atim = timespec{::time(nullptr), 0};
      return 0;
    }
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr))
      return hr == HR_FILE_NOT_FOUND ? -ENOENT : self.Refuse("stat", path, hr);
    *st = self.tree_.Attributes(node);
    return 0;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info*,
                     fuse_readdir_flags flags) {
  try {
    MountFs& self = Self();
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr)) return self.Refuse("list", path, hr);
    if (!node.IsFolder()) return -ENOTDIR;
    if (offset == 0) {
      self.tree_.RefreshIfStale(node);
      if (fill(buffer, ".", nullptr, 1, static_cast<fuse_fill_dir_flags>(0)) != 0) return 0;
    }
    if (offset <= 1 && fill(buffer, "..", nullptr, 2, static_cast<fuse_fill_dir_flags>(0)) != 0) return 0;
    const auto plus = (flags & FUSE_READDIR_PLUS) ? FUSE_FILL_DIR_PLUS : static_cast<fuse_fill_dir_flags>(0);
    for (std::int64_t position = offset < kFirstRowOffset ? 0 : offset - kFirstRowOffset + 1;; ++position) {
      MountRow row;
      const HRESULT hr = self.tree_.RowAt(node, position, row);
      if (hr == S_FALSE) return 0;
      if (Failed(hr)) return self.Refuse("list", path, hr);
      if (fill(buffer, row.name.c_str(), &row.attributes, position + kFirstRowOffset, plus) != 0) return 0;
    }
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Open(const char* path, fuse_file_info* fi) {
  try {
    MountFs& self = Self();
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr)) return self.Refuse("open", path, hr);
    if (node.IsFolder()) return -EISDIR;
    if ((fi->flags & O_ACCMODE) != O_RDONLY) {
      MountNode folder;
      std::string leaf;
      if (const HRESULT hr = self.tree_.ResolveParent(path, folder, leaf); Failed(hr))
        return self.Refuse("open", path, hr);
      return self.OpenForWriting(path, folder, leaf, &node, fi);
    }
    if (!MountTree::CanReadIn(node.parent)) return -EACCES;
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    file->reader = std::make_shared<RemoteFile>(*node.store, node.item, self.cache_, self.settings_.timeoutMs);
    if (const HRESULT hr = file->reader->Open(); Failed(hr)) return self.Refuse("open", path, hr);
    fi->fh = reinterpret_cast<std::uint64_t>(file.release());
    return 0;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  try {
    MountFs& self = Self();
    auto* file = reinterpret_cast<OpenFile*>(fi->fh);
    if (file == nullptr || offset < 0) return -EBADF;
    if (file->fd >= 0) {
      const ssize_t n = ::pread(file->fd, buffer, size, offset);
      return n < 0 ? -errno : static_cast<int>(n);
    }
    std::size_t got = 0;
    if (const HRESULT hr = file->reader->Read(static_cast<std::uint64_t>(offset), size, buffer, got); Failed(hr))
      return self.Refuse("read", path, hr);
    for (std::uint64_t index : file->reader->AheadOf(static_cast<std::uint64_t>(offset), got))
      self.readAhead_.Schedule(file->reader, index);
    return static_cast<int>(got);
  } catch (...) {
    return -EIO;
  }
}

bool MountFs::Space(std::uint64_t& used, std::uint64_t& total) {
  std::lock_guard<std::mutex> lock(spaceMutex_);
  const auto now = std::chrono::steady_clock::now();
  // `df` and file managers ask often; the service is asked twice a minute.
  if (spaceTotal_ == 0 || now - spaceAt_ > std::chrono::seconds(30)) {
    auto* service = spaceStore_ ? dynamic_cast<KorvexDataStoreRemote*>(spaceStore_->Remote()) : nullptr;
    AsyncResult* call = nullptr;
    if (service == nullptr || Failed(service->GetSpace(&call)) || call == nullptr) return false;
    if (!call->WaitPumping(settings_.timeoutMs)) {
      (void)service->CancelCall(call);
      call->Release();
      return false;
    }
    AwaitedResult answer(call, false);
    const auto payload = Succeeded(answer.Status()) ? answer.Take<SpacePayload>() : std::nullopt;
    if (!payload) return false;
    spaceUsed_ = boost::get<1>(*payload);
    spaceTotal_ = boost::get<2>(*payload);
    spaceAt_ = now;
  }
  used = spaceUsed_;
  total = spaceTotal_;
  return total != 0;
}

int MountFs::StatFs(const char*, struct statvfs* st) {
  std::memset(st, 0, sizeof *st);
  st->f_bsize = st->f_frsize = 4096;
  st->f_files = st->f_ffree = 1u << 30;
  st->f_namemax = 255;
  std::uint64_t used = 0, total = 0;
  try {
    if (Self().Space(used, total)) {
      st->f_blocks = total / st->f_frsize;
      st->f_bfree = st->f_bavail = (total - std::min(used, total)) / st->f_frsize;
      return 0;
    }
  } catch (...) {
  }
  // Unknown: a large free figure keeps programs from refusing a copy up
  // front; the service still enforces the quota.
  st->f_blocks = st->f_bfree = st->f_bavail = std::uint64_t{1} << 32;
  return 0;
}

HRESULT RunMount(session::SessionStores& stores, const MountSettings& settings, Uploader uploader,
                 const std::function<void()>& mounted) {
  std::error_code ec;
  if (!fs::is_directory(settings.mountpoint, ec)) return E_INVALIDARG;
  MountFs state(stores, settings, std::move(uploader));
  if (const HRESULT hr = state.Prepare(); Failed(hr)) return hr;
  fuse_args args = FUSE_ARGS_INIT(0, nullptr);
  for (const char* arg : {"korvex", "-o", "fsname=korvex,subtype=korvex"}) (void)fuse_opt_add_arg(&args, arg);
  if (settings.debug) (void)fuse_opt_add_arg(&args, "-d");
  const fuse_operations ops = MountFs::Operations();
  fuse* session = fuse_new(&args, &ops, sizeof ops, &state);
  fuse_opt_free_args(&args);
  if (session == nullptr) return E_FAIL;
  HRESULT result = S_OK;
  if (fuse_mount(session, settings.mountpoint.c_str()) != 0) {
    result = E_FAIL;
  } else {
    (void)fuse_set_signal_handlers(fuse_get_session(session));
    LogMgr::Get().Info(kCategory, "mounted on %s", settings.mountpoint.c_str());
    if (mounted) mounted();
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 16);
    // Ended by a signal or an unmount alike: both are the user's way out.
    if (const int loopEnd = fuse_loop_mt(session, loop); loopEnd < 0)
      LogMgr::Get().Warn(kCategory, "the request loop ended with %d", loopEnd);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(fuse_get_session(session));
    fuse_unmount(session);
    LogMgr::Get().Info(kCategory, "unmounted from %s", settings.mountpoint.c_str());
  }
  fuse_destroy(session);
  state.Shutdown();
  return result;
}

}  // namespace korvex::mount
