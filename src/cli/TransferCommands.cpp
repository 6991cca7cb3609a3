#include "cli/TransferCommands.h"

#include "cli/AccountTransfers.h"

#include "cli/BackgroundRunner.h"
#include "cli/Console.h"
#include "cli/PasswordInput.h"
#include "cli/RemoteTree.h"
#include "cli/SessionRunner.h"
#include "cli/SharingCommands.h"
#include "cli/Texts.h"
#include "cli/TransferOutcome.h"
#include "foundation/Registry.h"
#include "platform/Event.h"
#include "session/RemotePath.h"
#include "session/SessionFile.h"
#include "session/SessionStores.h"
#include "session/TransferOwner.h"
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

/// `transfers stop` while another korvex runs the transfers: that run
/// stops its own (and saves them) and hands the rest over when told to.
/// The daemon and the desktop client are not ended this way.
void StopHolder(const TransferHolder& holder) {
  static pid_t told = 0;
  if (holder.program == "korvex" && holder.pid > 0 && holder.pid != told && ::kill(holder.pid, SIGTERM) == 0)
    told = holder.pid;
}

TaskManagerOptions ManagerOptions(const TransferArgs* args) {
  TaskManagerOptions options;
  // Only a command that waits for its transfers gives up; a listing or a
  // detached runner never does.
  if (args != nullptr && !args->background) {
    if (const auto limit = ParseDuration(args->retryFor)) options.giveUpAfter = *limit;
  }
  return options;
}

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

/// After a renewed session the families of the first attempt exist
/// already: they go on instead of being made again.
HRESULT CarryOn(Transfers& transfers, const std::vector<std::uint32_t>& ids) {
  if (!transfers.Owner().Owns()) return S_OK;
  for (std::uint32_t id : ids) {
    const auto family = transfers.Manager().GetFamily(id);
    if (family && family->state == FamilyState::kStopped) (void)transfers.Manager().ResumeFamily(id, false);
  }
  return S_OK;
}

/// Families made while another process owns the transfers are written
/// whole under the store's lock, so that the owner takes each in complete.
void HoldUnlessOwner(Transfers& transfers, std::optional<TransferOwner::StoreHold>& hold) {
  if (!transfers.Owner().Owns()) hold.emplace(transfers.Owner());
}

CommandOutcome FinishOutcome(HRESULT hr) {
  if (hr == E_ABORT) return {hr, {}, "stopped"};
  if (hr == kStoppedFollowing) return {hr, {}, "no longer followed here"};
  if (hr == HR_INVALID_NAME)
    return {hr, {}, "the service gave a name that would leave the chosen folder; it was not written"};
  return {hr, {}, Failed(hr) ? "the transfer did not complete; see korvex transfers" : ""};
}

/// Follows the families to their end, or with --background leaves them to
/// a detached runner and returns at once.
CommandOutcome FollowOrDetach(Transfers& transfers, const GlobalOptions& options, const TransferArgs& args,
                              const std::vector<std::uint32_t>& ids) {
  if (!args.background) return transfers.FollowAndReport(ids, options.json);
  const std::vector<std::string> passOn = PassOnFlags(options);
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
  std::vector<std::uint32_t> ids;  // outlives a renewed session's second attempt
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(into->view, hr);
    if (!store) return {hr, into->Display(), {}};
    ContainerInfo folder;
    if (Failed(hr = FindContainer(*store, *into, folder))) return {hr, into->Display(), {}};
    TakeDefaultPassword(args, stores.GetSession(), password);
    Transfers transfers(stores, *store, deployment, ManagerOptions(&args));
    // In the background the detached runner owns, or follows the owner.
    if (!args.background && Failed(hr = transfers.TryOwn())) return FinishOutcome(hr);
    if (!ids.empty()) {
      (void)CarryOn(transfers, ids);
      return FollowOrDetach(transfers, options, args, ids);
    }
    {
      std::optional<TransferOwner::StoreHold> hold;
      HoldUnlessOwner(transfers, hold);
      for (const std::string& address : addresses) {
        if (CommandOutcome outcome = Queue(transfers, *store, TransferDirection::kUpload, address, folder,
                                           args.overwrite, password.text, ids);
            Failed(outcome.status))
          return outcome;
      }
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
  std::vector<std::uint32_t> ids;     // outlive a renewed session's second attempt
  std::size_t handled = 0;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    std::unique_ptr<Transfers> transfers;
    std::optional<TransferOwner::StoreHold> hold;
    for (; handled < paths.size(); ++handled) {
      const RemotePath& path = paths[handled];
      HRESULT hr = S_OK;
      DataStore* store = stores.Store(path.view, hr);
      if (!store) return {hr, path.Display(), {}};
      RemoteEntry entry;
      if (Failed(hr = FindEntry(*store, path, entry))) return {hr, path.Display(), {}};
      if (!transfers) {
        transfers = std::make_unique<Transfers>(stores, *store, deployment, ManagerOptions(&args));
        if (!args.background && Failed(hr = transfers->TryOwn())) return FinishOutcome(hr);
        (void)CarryOn(*transfers, ids);
        HoldUnlessOwner(*transfers, hold);
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
    hold.reset();
    if (!transfers && !ids.empty()) {
      HRESULT hr = S_OK;
      DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
      if (!store) return {hr, "/", {}};
      transfers = std::make_unique<Transfers>(stores, *store, deployment);
      if (!args.background && Failed(hr = transfers->TryOwn())) return FinishOutcome(hr);
      (void)CarryOn(*transfers, ids);
    }
    return transfers ? FollowOrDetach(*transfers, options, args, ids) : CommandOutcome{};
  });
}

/// Whether every one of `ids` is waiting or running in the store, so that a
/// `transfers resume` of them has nothing to change and may just follow.
bool AllUnderWay(const TransferOwner& owner, const std::vector<std::uint32_t>& ids) {
  if (ids.empty()) return false;
  return std::all_of(ids.begin(), ids.end(), [&owner](std::uint32_t id) {
    FamilyRecord record;
    if (Failed(ReadStoredFamily(owner.Folder(), id, record))) return false;
    const auto state = static_cast<FamilyState>(record.state);
    return state == FamilyState::kQueued || state == FamilyState::kRunning;
  });
}

/// Every action but `list` changes what the owner runs, so it needs to be
/// the owner; `resume` of transfers already under way (the detached runner
/// of `put --background`) follows them meanwhile. Null when the run may go
/// on, else the outcome to end it with.
std::optional<CommandOutcome> BecomeOwner(Transfers& transfers, const TransferArgs& args, bool json) {
  if (args.action == "list") {
    transfers.LoadForReading();
    return std::nullopt;
  }
  HRESULT hr = transfers.TryOwn();
  if (hr == S_FALSE && args.action == "resume" && AllUnderWay(transfers.Owner(), args.ids))
    return transfers.FollowAndReport(args.ids, json);
  if (hr == S_FALSE && args.action == "stop") {
    const TransferHolder holder = transfers.Owner().Holder();
    if (holder.program != "korvex")
      return CommandOutcome{E_ACCESSDENIED, {}, holder.program + " (pid " + std::to_string(holder.pid) +
                                                    ") runs this account's transfers; stop them there"};
  }
  if (hr == S_FALSE) hr = transfers.Own(args.action == "stop" ? StopHolder : nullptr);
  if (Failed(hr)) return FinishOutcome(hr);
  return std::nullopt;
}

int RunTransfers(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args) {
  InterruptGuard guard;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    Transfers transfers(stores, *store, deployment,
                        ManagerOptions(args.action == "resume" || args.action == "cancel" ? &args : nullptr));
    if (std::optional<CommandOutcome> ended = BecomeOwner(transfers, args, options.json)) return *ended;
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
