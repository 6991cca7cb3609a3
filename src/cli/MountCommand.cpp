//===- cli/MountCommand.cpp - korvex mount --------------------------------===//

#include "cli/MountCommand.h"

#include "cli/AccountTransfers.h"
#include "cli/BackgroundRunner.h"
#include "cli/Console.h"
#include "cli/DaemonMounts.h"
#include "cli/SessionRunner.h"
#include "mount/BlockCache.h"
#include "mount/Mount.h"
#include "session/LocalUpload.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>

namespace korvex::cli {

namespace {

namespace fs = std::filesystem;

// A write through the mount waits in close() for its upload: a service that
// stays away fails it after this long instead of holding the writer forever.
constexpr auto kUploadGiveUp = std::chrono::minutes(2);

/// Queues the local file as a one-file upload family into `folder` and sees
/// it through, one at a time: each waits in its writer's close().
class MountUploads {
 public:
  MountUploads(SessionStores& stores, DataStore& myDisk, const DeploymentValues& deployment)
      : transfers_(stores, myDisk, deployment, Options()) {
    // Another process may own the account's transfers: then the families
    // are handed to it and followed from its records.
    (void)transfers_.TryOwn();
  }

  HRESULT Upload(DataStore& store, const ContainerInfo& folder, const fs::path& local, std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<DataStore> target(&store, [](DataStore*) {});
    bool isFolder = false;
    ContainerInfo unused;
    ItemInfo file;
    const std::shared_ptr<DataStore> source = transfers_.Local();
    // Each writer's folder is new: the local store's listing of the folder
    // holding them was read before it existed.
    ContainerInfo writes;
    if (source->GetContainerInfo(local.parent_path().parent_path().string() + "/", writes))
      source->InvalidateContainer(writes);
    if (const HRESULT hr = FindByAddress(*source, local.string(), isFolder, unused, file); Failed(hr)) return hr;
    TaskManager& manager = transfers_.Manager();
    std::vector<std::uint32_t> ids;
    {
      std::optional<TransferOwner::StoreHold> hold;
      if (!transfers_.Owner().Owns()) hold.emplace(transfers_.Owner());
      auto family = std::make_shared<TaskFamily>(manager.NewFamilyId(), TransferDirection::kUpload, source,
                                                 local.string(), target, folder.uri);
      family->conflictAnswer = 2;  // a write replaces the file, as on a local disk
      family->folderAnswer = 2;
      family->PushBack(std::make_unique<FileTask>(manager.NewTaskId(), *family, file, folder));
      ids.push_back(family->Id());
      manager.AddFamily(std::move(family), false);
    }
    const HRESULT hr = transfers_.SeeThrough(ids);
    if (Failed(hr)) {
      if (const auto family = manager.GetFamily(ids.front())) message = family->LastErrorText();
    }
    return hr;
  }

 private:
  static TaskManagerOptions Options() {
    TaskManagerOptions options;
    options.giveUpAfter = std::chrono::duration_cast<std::chrono::milliseconds>(kUploadGiveUp);
    return options;
  }

  std::mutex mutex_;
  Transfers transfers_;
};

CommandOutcome Serve(SessionStores& stores, const DeploymentValues& deployment, const mount::MountSettings& settings) {
  mount::Uploader uploader;
  std::unique_ptr<MountUploads> uploads;
  if (stores.GetSession().accessCode) {
    // An access code's visitor uploads block by block, as `put` does.
    uploader = [](DataStore& store, const ContainerInfo& folder, const fs::path& local, std::string& message) {
      ItemInfo item;
      return UploadLocalFile(store, folder, local, true, nullptr, item, message);
    };
  } else {
    HRESULT hr = S_OK;
    DataStore* myDisk = stores.Store(RemoteView::kMyDisk, hr);
    if (myDisk == nullptr) return {hr, settings.mountpoint.string(), {}};
    uploads = std::make_unique<MountUploads>(stores, *myDisk, deployment);
    uploader = [&uploads](DataStore& store, const ContainerInfo& folder, const fs::path& local, std::string& message) {
      return uploads->Upload(store, folder, local, message);
    };
  }
  const std::string where = settings.mountpoint.string();
  const HRESULT hr = mount::RunMount(stores, settings, uploader, [&where, &settings] {
    std::cerr << "mounted on " << where << (settings.readOnly ? " (read-only)" : "")
              << "; unmount with: fusermount3 -u " << where << " (or Ctrl-C)" << std::endl;
  });
  if (hr == E_INVALIDARG) return {hr, where, "not a folder"};
  if (hr == E_FAIL) return {hr, where, "the folder could not be mounted (is /dev/fuse there and fusermount3 installed?)"};
  if (Failed(hr)) return {hr, where, {}};
  return {};
}

bool IsMounted(const fs::path& dir) {
  struct stat inside {}, above {};
  return ::stat(dir.c_str(), &inside) == 0 && ::stat(dir.parent_path().c_str(), &above) == 0 &&
         inside.st_dev != above.st_dev;
}

/// What the detached mount wrote to its log from `from` on.
std::string LogSince(const fs::path& log, std::streamoff from) {
  std::ifstream in(log, std::ios::binary);
  in.seekg(from);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Longest wait for a detached mount to be in place.
constexpr int kDetachWaitSteps = 300;  // of 100 ms

int RunDetached(const GlobalOptions& options, const MountArgs& args, const mount::MountSettings& settings) {
  std::vector<std::string> words = PassOnFlags(options);
  words.insert(words.end(), {"mount", settings.mountpoint.string(), "--cache-dir", settings.cacheDir.string(),
                             "--cache-size", args.cacheSize});
  if (args.readOnly) words.push_back("--read-only");
  std::error_code ec;
  fs::create_directories(settings.cacheDir, ec);
  const fs::path log = settings.cacheDir / "mount.log";
  const auto from = static_cast<std::streamoff>(fs::exists(log, ec) ? fs::file_size(log, ec) : 0);
  pid_t child = 0;
  if (const HRESULT hr = SpawnDetached(words, log.string(), child); Failed(hr))
    return ReportMessage("cannot start the mount in the background", kExitFailure);
  for (int step = 0; step < kDetachWaitSteps; ++step) {
    if (IsMounted(settings.mountpoint)) {
      std::cout << "mounted on " << settings.mountpoint.string() << " (pid " << child
                << "); unmount with: fusermount3 -u " << settings.mountpoint.string() << std::endl;
      return kExitOk;
    }
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      std::cerr << LogSince(log, from);
      return kExitFailure;
    }
    ::usleep(100 * 1000);
  }
  return ReportMessage("the mount is not in place after 30 s; it goes on trying (pid " + std::to_string(child) +
                           "), see " + log.string(),
                       kExitFailure);
}

}  // namespace

void AddMountCommand(CLI::App& app, MountArgs& args, const std::function<void(CLI::App*, CommandAction)>& choose) {
  CLI::App* mount = app.add_subcommand("mount", "Show the cloud disk as a folder until unmounted (FUSE)");
  mount->add_option("MOUNTPOINT", args.mountpoint, "An existing, empty folder")->required();
  mount->add_flag("--read-only", args.readOnly, "Refuse every change");
  mount->add_option("--cache-dir", args.cacheDir, "Where read blocks and files being written are kept");
  mount->add_option("--cache-size", args.cacheSize, "Most disk space for read blocks (512M, 2G; default 1G)")
      ->check([](const std::string& text) {
        std::uint64_t bytes = 0;
        return mount::ParseByteSize(text, bytes) ? std::string() : "--cache-size takes a size such as 512M or 2G";
      });
  mount->add_flag("--daemon", args.daemon, "Serve from the background; return once mounted");
  mount->add_flag("--remember", args.remember, "Also mount it whenever korvex daemon starts");
  mount->add_flag("--forget", args.forget, "No longer mount it with korvex daemon (and do not mount now)");
  mount->add_flag("--debug-fuse", args.debug, "Trace every file-system call on standard error");
  choose(mount, [&args](const GlobalOptions& o, const DeploymentValues& d) { return RunMount(o, d, args); });
}

int RunMount(const GlobalOptions& options, const DeploymentValues& deployment, const MountArgs& args) {
  mount::MountSettings settings;
  std::error_code ec;
  settings.mountpoint = fs::absolute(args.mountpoint, ec).lexically_normal();
  if (args.forget) {
    std::string folder = settings.mountpoint.string();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!RememberMount(folder, false)) return ReportMessage("the settings cannot be written", kExitFailure);
    std::cout << folder << ": no longer mounted by korvex daemon" << std::endl;
    return kExitOk;
  }
  if (ec || !fs::is_directory(settings.mountpoint, ec))
    return ReportMessage(args.mountpoint + ": not a folder", kExitUsage);
  // Mounting over a mount hides the first one and leaves two to unmount.
  if (IsMounted(settings.mountpoint)) return ReportMessage(args.mountpoint + ": already a mount point", kExitUsage);
  settings.readOnly = args.readOnly;
  settings.debug = args.debug;
  settings.tell = [](const std::string& line) { std::cerr << "korvex mount: " << line << std::endl; };
  settings.cacheDir = args.cacheDir.empty() ? mount::DefaultCacheDir() : fs::absolute(args.cacheDir, ec);
  if (!mount::ParseByteSize(args.cacheSize, settings.cacheSize))
    return ReportMessage("--cache-size takes a size such as 512M or 2G", kExitUsage);
  if (args.remember) {
    std::string folder = settings.mountpoint.string();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!RememberMount(folder, true)) return ReportMessage("the settings cannot be written", kExitFailure);
    std::cerr << folder << ": mounted by korvex daemon from its next start on" << std::endl;
  }
  if (args.daemon) return RunDetached(options, args, settings);
  return RunWithSession(options, deployment,
                        [&](SessionStores& stores) { return Serve(stores, deployment, settings); });
}

}  // namespace korvex::cli
