#include "cli/TransferCommands.h"

#include "cli/Console.h"
#include "cli/PasswordInput.h"
#include "cli/RemotePath.h"
#include "cli/RemoteTree.h"
#include "cli/SessionFile.h"
#include "cli/SessionRunner.h"
#include "cli/SessionStores.h"
#include "cli/SharingCommands.h"
#include "cli/Texts.h"
#include "cli/TransferOutcome.h"
#include "cli/TransferRunner.h"
#include "foundation/Registry.h"
#include "platform/Event.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"
#include "tasks/TreeCheck.h"

#include <openssl/crypto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace korvex::cli {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> g_interrupted{false};
/// The wait of the command that follows its families, if one waits: Ctrl-C
/// ends it at once. Only its eventfd write runs in the handler.
std::atomic<Event*> g_followWake{nullptr};

extern "C" void OnInterrupt(int) {
  const int savedErrno = errno;
  g_interrupted = true;
  if (Event* wake = g_followWake.load()) wake->Set();
  errno = savedErrno;
}

/// Ctrl-C stops the families (their progress is saved) instead of killing
/// the process in the middle of a block.
class InterruptGuard {
 public:
  InterruptGuard() {
    g_interrupted = false;
    old_ = std::signal(SIGINT, OnInterrupt);
    oldTerm_ = std::signal(SIGTERM, OnInterrupt);
  }
  ~InterruptGuard() {
    std::signal(SIGINT, old_);
    std::signal(SIGTERM, oldTerm_);
  }

 private:
  void (*old_)(int);
  void (*oldTerm_)(int);
};

/// A password that leaves no copy in freed memory.
struct Secret {
  std::string text;
  ~Secret() { OPENSSL_cleanse(text.data(), text.size()); }
};

/// The password `put --encrypt` encrypts with. Asked twice on a terminal:
/// a mistyped one would make the uploaded files unreadable.
int AskPassword(const TransferArgs& args, Secret& password) {
  if (!args.encrypt) return 0;
  if (Failed(ReadPassword(args.passwordStdin, Text(kTxtPasswordPrompt), password.text)) || password.text.empty())
    return ReportMessage(Text(kTxtNoPassword), kExitUsage);
  if (args.passwordStdin) return 0;
  Secret again;
  if (Failed(ReadPassword(false, Text(kTxtPasswordAgain), again.text)) || again.text != password.text)
    return ReportMessage(Text(kTxtPasswordsDiffer), kExitUsage);
  return 0;
}

/// Without --encrypt, uploads use the account's default password when the
/// user chose to encrypt every upload with it.
void TakeDefaultPassword(const TransferArgs& args, const Session& session, Secret& password) {
  if (args.encrypt) return;
  password.text = ReadString(Hive::CurrentUser, kProductKey, session.loginName, "DefaultEncryptPassword", "");
  if (!password.text.empty()) std::cerr << Text(kTxtDefaultPassword) << std::endl;
}

/// `transfers stop` while another process runs the transfers: that process
/// stops them itself (and saves them) when told to.
void StopHolder(pid_t holder) {
  static pid_t told = 0;
  if (holder > 0 && holder != told && ::kill(holder, SIGTERM) == 0) told = holder;
}

std::string Size(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) bytes /= 1024, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

/// Wakes the command that follows families whenever one of them changes
/// state (starts, stops, completes) and when Ctrl-C comes, so that it
/// learns of the end at once instead of at its next look. Progress of the
/// tasks does not wake it: the progress lines keep their own pace.
class FollowWake final : public TaskFamilyEventListener {
 public:
  FollowWake(TaskManager& manager, Event& wake) : manager_(manager), wake_(wake) {
    manager_.AddListener(this);
    g_followWake = &wake_;
  }
  ~FollowWake() override {
    g_followWake = nullptr;
    manager_.RemoveListener(this);
  }
  FollowWake(const FollowWake&) = delete;
  FollowWake& operator=(const FollowWake&) = delete;

  void OnTaskFamilyEvent(TaskFamily&, FamilyEventKind, Task* task, TaskEvent event, ErrorDetail, HRESULT) override {
    if (task == nullptr) wake_.Set();
    // Failed files end too: they count among the files handled.
    else if (event == TaskEvent::kEnded && task->Type() == TaskType::kFile) ++filesEnded_;
  }

  [[nodiscard]] std::size_t FilesEnded() const noexcept { return filesEnded_; }

 private:
  TaskManager& manager_;
  Event& wake_;
  std::atomic<std::size_t> filesEnded_{0};
};

TaskManagerOptions ManagerOptions(const TransferArgs* args) {
  TaskManagerOptions options;
  // Only a command that waits for its transfers gives up; a listing or a
  // detached runner never does.
  if (args != nullptr && !args->background) {
    if (const auto limit = ParseDuration(args->retryFor)) options.giveUpAfter = *limit;
  }
  return options;
}

/// The session's transfer machinery: the stores, the task store of the
/// account and the manager, with every stored family loaded.
class Transfers {
 public:
  Transfers(SessionStores& stores, DataStore& service, const TransferArgs* args = nullptr)
      // The session owns its store; the families only borrow it.
      : service_(&service, [](DataStore*) {}),
        local_(std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"), 1, true)),
        context_(service_, local_),
        taskStore_(BinaryFileTaskStore::FolderNameForAccount(stores.GetSession().accountName), context_),
        manager_(taskStore_, ManagerOptions(args)) {}

  /// Loads the stored families; with `run`, first becomes the account's one
  /// runner of transfers (see TransferLock).
  [[nodiscard]] HRESULT Load(bool run, void (*busy)(pid_t) = nullptr) {
    if (run) {
      if (const HRESULT hr = lock_.Acquire(taskStore_.Folder(), g_interrupted, busy); Failed(hr)) return hr;
    }
    FamilyMap stored;
    (void)taskStore_.LoadAll(stored);
    for (auto& [id, family] : stored) manager_.AddFamily(family, true);
    return S_OK;
  }

  TaskManager& Manager() { return manager_; }
  /// File tasks that ended (done or failed) in the last Follow.
  [[nodiscard]] std::size_t FilesEnded() const noexcept { return filesEnded_; }

  /// Follows `ids` and says how they ended.
  CommandOutcome FollowAndReport(const std::vector<std::uint32_t>& ids, bool json) {
    const HRESULT followed = Follow(ids);
    std::vector<std::shared_ptr<TaskFamily>> families;
    for (std::uint32_t id : ids)
      if (auto family = manager_.GetFamily(id)) families.push_back(std::move(family));
    return ReportTransferEnd(families, filesEnded_, followed, json);
  }
  std::shared_ptr<DataStore> Local() const { return local_; }

  /// Follows `ids` until none is queued or running; Ctrl-C stops them.
  /// Returns the status of the first family that did not complete.
  HRESULT Follow(const std::vector<std::uint32_t>& ids) {
    std::unique_ptr<Event> wake;
    if (const HRESULT hr = Event::Create(false, false, wake); Failed(hr)) return hr;
    const FollowWake watch(manager_, *wake);
    filesEnded_ = 0;
    if (Failed(manager_.Start())) return E_FAIL;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    auto lastLine = std::chrono::steady_clock::now();
    for (;;) {
      bool busy = false;
      for (std::uint32_t id : ids) {
        const auto family = manager_.GetFamily(id);
        if (family && (family->state == FamilyState::kQueued || family->state == FamilyState::kRunning)) busy = true;
      }
      const auto now = std::chrono::steady_clock::now();
      if (terminal || now - lastLine >= std::chrono::seconds(5) || !busy) {
        for (std::uint32_t id : ids) PrintProgress(id, terminal);
        lastLine = now;
      }
      if (!busy) break;
      if (g_interrupted) {
        (void)manager_.StopFamilies(ids);
        std::cerr << "\nstopped; continue with: korvex transfers resume";
        for (std::uint32_t id : ids) std::cerr << ' ' << id;
        std::cerr << std::endl;
        return E_ABORT;
      }
      (void)wake->Wait(NextLineIn(terminal, lastLine));
    }
    if (terminal) std::cerr << std::endl;
    filesEnded_ = watch.FilesEnded();
    for (std::uint32_t id : ids) {
      const auto family = manager_.GetFamily(id);
      if (family && family->state != FamilyState::kCompleted)
        return Failed(family->lastError.load()) ? family->lastError.load() : E_FAIL;
    }
    return S_OK;
  }

  /// Milliseconds until the next progress line is due: a terminal's bar
  /// moves several times a second, a log gets a line every 5 seconds.
  static std::int64_t NextLineIn(bool terminal, std::chrono::steady_clock::time_point lastLine) {
    using namespace std::chrono;
    const auto pace = terminal ? milliseconds(250) : milliseconds(5000);
    const auto left = ceil<milliseconds>(lastLine + pace - steady_clock::now()).count();
    return std::max<std::int64_t>(left, 0);
  }

  void PrintProgress(std::uint32_t id, bool terminal) {
    const auto family = manager_.GetFamily(id);
    if (!family) return;
    const FamilyProgress p = family->Progress();
    const double seconds = static_cast<double>(p.elapsedRun) / 1e7;
    const double speed = seconds > 0 ? static_cast<double>(p.doneBytes) / seconds : 0;
    // A group sent again after a failure may count twice for a moment;
    // the line never claims more than the whole.
    const std::uint64_t done = p.totalBytes ? std::min(p.doneBytes, *p.totalBytes) : p.doneBytes;
    std::string line = "[" + std::to_string(id) + "] " + Size(static_cast<double>(done));
    if (p.totalBytes && *p.totalBytes > 0) {
      line += " / " + Size(static_cast<double>(*p.totalBytes)) + "  " +
              std::to_string(std::min<std::uint64_t>(100, done * 100 / *p.totalBytes)) + "%";
      if (speed > 0 && *p.totalBytes > p.doneBytes)
        line += "  " + std::to_string(static_cast<long long>((*p.totalBytes - p.doneBytes) / speed)) + " s left";
    }
    line += "  " + Size(speed) + "/s  " + FamilyStateText(*family);
    // While retrying, the line says why it is waiting.
    if (family->retryCount != 0 && Failed(family->lastError.load()))
      line += ": " + ErrorLine(family->lastError, family->LastErrorText());
    // "\x1b[K" clears what a longer earlier line left behind.
    std::cerr << (terminal ? "\r" : "") << line << (terminal ? "\x1b[K" : "\n") << std::flush;
  }

 private:
  TransferLock lock_;
  std::size_t filesEnded_ = 0;
  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
  TransferStoreContext context_;
  BinaryFileTaskStore taskStore_;
  TaskManager manager_;
};

/// Queues one family moving `from` (a folder or file of `source`) into the
/// folder `into` of `target`.
CommandOutcome Queue(Transfers& transfers, DataStore& service, TransferDirection direction, const std::string& from,
                     const ContainerInfo& into, bool overwrite, std::string_view password,
                     std::vector<std::uint32_t>& ids) {
  const bool upload = direction == TransferDirection::kUpload;
  // The session owns its stores; the family only borrows the service's.
  const std::shared_ptr<DataStore> borrowed(&service, [](DataStore*) {});
  const auto source = upload ? transfers.Local() : borrowed;
  const auto target = upload ? borrowed : transfers.Local();
  bool isFolder = false;
  ContainerInfo folder;
  ItemInfo file;
  if (const HRESULT hr = FindByAddress(*source, from, isFolder, folder, file); Failed(hr)) return {hr, from, {}};
  TaskManager& manager = transfers.Manager();
  auto family = std::make_shared<TaskFamily>(manager.NewFamilyId(), direction, source, from, target, into.uri);
  family->conflictAnswer = overwrite ? 2 : 0;
  family->folderAnswer = 2;
  // Before the tasks are made: each file task derives its ".lock" name and
  // crypt mode from it.
  if (!password.empty()) family->SetPassword(password);
  std::unique_ptr<Task> task;
  if (isFolder) task = std::make_unique<DirectoryTask>(manager.NewTaskId(), *family, folder, into);
  else task = std::make_unique<FileTask>(manager.NewTaskId(), *family, file, into);
  // A task whose record cannot be saved could not be resumed: refused now.
  const auto paths =
      std::visit([](const auto& r) { return std::vector{r.source.path, r.target.path}; }, task->Record());
  for (const std::string& path : paths)
    if (!FitsTaskRecord(path)) return {HR_PATH_TOO_LONG, {}, PathTooLongMessage(path)};
  family->PushBack(std::move(task));
  ids.push_back(family->Id());
  manager.AddFamily(std::move(family), false);
  return {};
}

/// Why `path` cannot be uploaded, or null: a FIFO or a device would be read
/// for ever (or never), and a link would upload whatever it points to now.
const char* RefusedLocalKind(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec) return nullptr;
  if (fs::is_symlink(status)) return "a symbolic link; give the file or folder it points to";
  if (!fs::is_regular_file(status) && !fs::is_directory(status)) return "not a regular file or folder";
  return nullptr;
}

/// The local address of `path`: the file-system path itself, since the
/// local store is opened on "/"; folders end in "/".
std::string LocalAddress(const std::string& path, bool& exists) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec).lexically_normal();
  exists = fs::exists(absolute, ec);
  std::string address = absolute.string();
  if (fs::is_directory(absolute, ec) && address.back() != '/') address += '/';
  return address;
}

CommandOutcome FinishOutcome(HRESULT hr) {
  if (hr == E_ABORT) return {hr, {}, "stopped"};
  if (hr == HR_INVALID_NAME)
    return {hr, {}, "the service gave a name that would leave the chosen folder; it was not written"};
  return {hr, {}, Failed(hr) ? "the transfer did not complete; see korvex transfers" : ""};
}

/// Follows the families to their end, or with --background leaves them to
/// a detached runner and returns at once.
CommandOutcome FollowOrDetach(Transfers& transfers, const GlobalOptions& options, const TransferArgs& args,
                              const std::vector<std::uint32_t>& ids) {
  if (!args.background) return transfers.FollowAndReport(ids, options.json);
  std::vector<std::string> passOn;
  if (options.caFile) passOn.insert(passOn.end(), {"--ca-file", *options.caFile});
  if (options.insecure) passOn.push_back("--insecure");
  if (const HRESULT hr = SpawnDetachedResume(ids, passOn); Failed(hr)) return {hr, "--background", {}};
  std::cout << "queued";
  for (std::uint32_t id : ids) std::cout << ' ' << id;
  std::cout << "; follow with: korvex transfers" << std::endl;
  return {};
}


}  // namespace

int RunPut(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args) {
  // A visitor of an access code may only add files to the code's folder, which
  // the transfer families cannot address: that upload goes its own way.
  if (Session session; Succeeded(LoadSession(session)) && session.accessCode) {
    // Sending in clear what the user asked to encrypt would be worse than
    // refusing.
    if (args.encrypt || args.background)
      return ReportMessage("--encrypt and --background are not offered to an access-code login", kExitUsage);
    SharingArgs visitor;
    visitor.words = args.paths;
    visitor.overwrite = args.overwrite;
    return RunVisitorPut(options, deployment, visitor);
  }
  std::vector<std::string> sources = args.paths;
  std::string remote = "/";
  if (sources.size() >= 2) remote = sources.back(), sources.pop_back();
  std::string error;
  const std::optional<RemotePath> into = ParseRemotePath(remote, error);
  if (!into) return ReportMessage(remote + ": " + error, kExitUsage);
  std::vector<std::string> addresses;
  for (const std::string& source : sources) {
    bool exists = false;
    addresses.push_back(LocalAddress(source, exists));
    if (!exists) return ReportMessage(source + ": no such file or folder", kExitUsage);
    if (const char* refused = RefusedLocalKind(source)) return ReportMessage(source + ": " + refused, kExitUsage);
  }
  Secret password;
  if (const int refused = AskPassword(args, password); refused != 0) return refused;
  InterruptGuard guard;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(into->view, hr);
    if (!store) return {hr, into->Display(), {}};
    ContainerInfo folder;
    if (Failed(hr = FindContainer(*store, *into, folder))) return {hr, into->Display(), {}};
    TakeDefaultPassword(args, stores.GetSession(), password);
    Transfers transfers(stores, *store, &args);
    if (Failed(hr = transfers.Load(!args.background))) return FinishOutcome(hr);
    std::vector<std::uint32_t> ids;
    for (const std::string& address : addresses) {
      if (CommandOutcome outcome = Queue(transfers, *store, TransferDirection::kUpload, address, folder,
                                         args.overwrite, password.text, ids);
          Failed(outcome.status))
        return outcome;
    }
    return FollowOrDetach(transfers, options, args, ids);
  });
}

int RunGet(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args) {
  std::vector<std::string> sources = args.paths;
  std::string local = ".";
  if (sources.size() >= 2) local = sources.back(), sources.pop_back();
  std::vector<RemotePath> paths;
  for (const std::string& source : sources) {
    std::string error;
    std::optional<RemotePath> path = ParseRemotePath(source, error);
    if (!path) return ReportMessage(source + ": " + error, kExitUsage);
    paths.push_back(*path);
  }
  // A destination folder that does not exist yet is made, as for `mkdir -p`.
  std::error_code ec;
  if (!fs::exists(local, ec) && !fs::create_directories(local, ec) && ec)
    return ReportMessage(local + ": " + ec.message());
  bool exists = false;
  const std::string into = LocalAddress(local, exists);
  if (!exists || into.back() != '/') return ReportMessage(local + ": not a folder", kExitUsage);
  InterruptGuard guard;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    std::unique_ptr<Transfers> transfers;
    std::vector<std::uint32_t> ids;
    for (const RemotePath& path : paths) {
      HRESULT hr = S_OK;
      DataStore* store = stores.Store(path.view, hr);
      if (!store) return {hr, path.Display(), {}};
      RemoteEntry entry;
      if (Failed(hr = FindEntry(*store, path, entry))) return {hr, path.Display(), {}};
      if (!transfers) {
        transfers = std::make_unique<Transfers>(stores, *store, &args);
        if (Failed(hr = transfers->Load(!args.background))) return FinishOutcome(hr);
      }
      ContainerInfo folder;
      bool isFolder = false;
      ItemInfo unused;
      if (Failed(hr = FindByAddress(*transfers->Local(), into, isFolder, folder, unused)) || !isFolder)
        return {Failed(hr) ? hr : E_INVALIDARG, local, {}};
      const std::string from = entry.isContainer ? entry.container.uri : entry.item.uri;
      if (CommandOutcome outcome =
              Queue(*transfers, *store, TransferDirection::kDownload, from, folder, args.overwrite, {}, ids);
          Failed(outcome.status))
        return outcome;
    }
    return transfers ? FollowOrDetach(*transfers, options, args, ids) : CommandOutcome{};
  });
}

int RunTransfers(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args) {
  InterruptGuard guard;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    Transfers transfers(stores, *store, args.action == "resume" || args.action == "cancel" ? &args : nullptr);
    // Listing only reads; every other action changes what a runner runs.
    if (Failed(hr = transfers.Load(args.action != "list", args.action == "stop" ? StopHolder : nullptr)))
      return FinishOutcome(hr);
    TaskManager& manager = transfers.Manager();
    std::vector<std::uint32_t> ids = args.ids;
    if (ids.empty()) {
      for (const auto& family : manager.Families()) {
        const FamilyState state = family->state;
        const bool matches = args.action == "clear" ? state == FamilyState::kCompleted
                                                    : args.action == "list" || state != FamilyState::kCompleted;
        if (matches) ids.push_back(family->Id());
      }
    }
    if (args.action == "list") {
      ListFamilies(manager, ids, options.json);
      return {};
    }
    for (std::uint32_t id : args.ids) {
      if (!manager.GetFamily(id)) return {E_INVALIDARG, {}, "no such transfer: " + std::to_string(id)};
    }
    bool done = true;
    if (args.action == "stop") done = manager.StopFamilies(ids);
    if (args.action == "remove" || args.action == "clear") done = manager.RemoveFamilies(ids, true);
    if (args.action == "resume") {
      // A transfer cut off by a crash comes back queued; it simply runs.
      for (std::uint32_t id : ids) {
        const auto family = manager.GetFamily(id);
        if (!family || family->state == FamilyState::kCompleted) done = false;
        else if (family->state == FamilyState::kStopped) done = manager.ResumeFamily(id, false) && done;
      }
      if (done) return transfers.FollowAndReport(ids, options.json);
    }
    if (args.action == "cancel") {
      done = manager.CancelFamilies(ids);
      if (done) return transfers.FollowAndReport(ids, options.json);
    }
    if (!done) return {E_INVALIDARG, args.action, "not possible in the transfer's present state"};
    return {};
  });
}

}  // namespace korvex::cli
