//===- cli/BackupCommands.cpp - korvex backup -----------------------------===//

#include "cli/BackupCommands.h"

#include "cli/BackupSession.h"
#include "cli/Console.h"
#include "cli/RemoteTree.h"
#include "cli/SessionRunner.h"
#include "session/RemotePath.h"
#include "session/SessionStores.h"
#include "sync/BackupRunnerLock.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

namespace korvex::cli {
namespace {

std::atomic<bool> g_stopRequested{false};
extern "C" void OnStopSignal(int) { g_stopRequested = true; }

/// Ctrl-C and SIGTERM end a run or the daemon in order instead of killing
/// the process in the middle of a block.
class StopSignals {
 public:
  StopSignals() {
    g_stopRequested = false;
    int_ = std::signal(SIGINT, OnStopSignal);
    term_ = std::signal(SIGTERM, OnStopSignal);
  }
  ~StopSignals() {
    std::signal(SIGINT, int_);
    std::signal(SIGTERM, term_);
  }

 private:
  void (*int_)(int);
  void (*term_)(int);
};

/// The kept session, or a message why there is none. Editing the pairs
/// needs only the account's name.
bool AccountSession(Session& session) {
  if (Succeeded(LoadSession(session)) && !session.accessCode) return true;
  (void)ReportMessage(session.accessCode ? "backups need an account login, not an access code"
                                         : "not logged in; run `korvex login`");
  return false;
}

std::string PairError(HRESULT hr) {
  if (hr == HR_ALREADY_EXISTS)
    return "A backup directory with the same name already exists, you can not set again.";
  if (hr == HR_FILE_NOT_FOUND) return "Illegal path or the path doen not exist";
  if (hr == HR_SYNC_PATH_TOO_LONG) return "the path is too long for a backup folder";
  return StatusText(hr);
}

const char* StateWord(FamilyState state) {
  switch (state) {
    case FamilyState::kQueued: return "queued";
    case FamilyState::kStopped: return "stopped";
    case FamilyState::kRunning: return "running";
    case FamilyState::kCompleted: return "done";
  }
  return "?";
}

/// Follows the backups `ids` to their end with a progress line; Ctrl-C
/// stops them (the next run picks them up).
HRESULT Follow(TaskManager& manager, const std::vector<std::uint32_t>& ids) {
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  auto lastLine = std::chrono::steady_clock::now() - std::chrono::seconds(10);
  for (;;) {
    bool busy = false;
    std::uint64_t done = 0;
    std::string states;
    for (std::uint32_t id : ids) {
      const auto family = manager.GetFamily(id);
      if (!family) continue;
      const FamilyState state = family->state;
      busy = busy || state == FamilyState::kQueued || state == FamilyState::kRunning;
      done += family->Progress().doneBytes;
      states += " [" + std::to_string(id) + " " + StateWord(state) + "]";
    }
    const auto now = std::chrono::steady_clock::now();
    if (!busy || terminal || now - lastLine >= std::chrono::seconds(5)) {
      std::cerr << (terminal ? "\r" : "") << HumanSize(done) << " sent" << states << (terminal ? "   " : "\n")
                << std::flush;
      lastLine = now;
    }
    if (!busy) break;
    if (g_stopRequested) {
      (void)manager.StopFamilies(ids);
      std::cerr << "\nstopped; `korvex backup run` continues" << std::endl;
      return E_ABORT;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  if (terminal) std::cerr << std::endl;
  for (std::uint32_t id : ids) {
    const auto family = manager.GetFamily(id);
    if (family && family->state != FamilyState::kCompleted)
      return Failed(family->lastError.load()) ? family->lastError.load() : E_FAIL;
  }
  return S_OK;
}

}  // namespace

void AddBackupCommands(CLI::App& app, BackupArgs& args, const std::function<void(CLI::App*, CommandAction)>& choose) {
  CLI::App* backup = app.add_subcommand("backup", "Daily backup of local folders to your disk");
  backup->require_subcommand(1);

  CLI::App* add = backup->add_subcommand("add", "Back LOCAL up into the folder REMOTE of your disk every day");
  add->add_option("LOCAL", args.local, "Local folder")->required();
  add->add_option("REMOTE", args.remote, "Folder of your disk (made at the first run when missing)")->required();
  choose(add, [&args](const GlobalOptions& o, const DeploymentValues& d) { return RunBackupAdd(o, d, args); });

  choose(backup->add_subcommand("list", "List the backup folders, their state and last run"),
         [](const GlobalOptions& o, const DeploymentValues&) { return RunBackupList(o); });
  for (const char* action : {"remove", "pause", "resume"}) {
    const std::string text = std::string(action == std::string("remove") ? "Stop backing up"
                                         : action == std::string("pause") ? "Pause the backup of"
                                                                          : "Resume the backup of") +
                             " a local folder";
    CLI::App* edit = backup->add_subcommand(action, text);
    edit->add_option("LOCAL", args.local, "The local folder as listed")->required();
    choose(edit, [&args, name = std::string(action)](const GlobalOptions&, const DeploymentValues&) {
      return RunBackupEdit(name, args);
    });
  }
  CLI::App* schedule = backup->add_subcommand("schedule", "Show or set the daily backup time");
  schedule->add_option("TIME", args.time, "HH:MM, local time");
  choose(schedule, [&args](const GlobalOptions& o, const DeploymentValues&) { return RunBackupSchedule(o, args); });
  choose(backup->add_subcommand("run", "Back every folder up now"),
         [](const GlobalOptions& o, const DeploymentValues& d) { return RunBackupNow(o, d); });

  choose(app.add_subcommand("daemon", "Run transfers and the daily backup in the foreground until SIGTERM"),
         [](const GlobalOptions& o, const DeploymentValues& d) { return RunDaemon(o, d); });
}

int RunBackupAdd(const GlobalOptions& options, const DeploymentValues& deployment, const BackupArgs& args) {
  std::string error;
  const std::optional<RemotePath> remote = ParseRemotePath(args.remote, error);
  if (!remote) return ReportMessage(args.remote + ": " + error, kExitUsage);
  if (remote->view != RemoteView::kMyDisk) return ReportMessage(args.remote + ": backups go into your own disk", kExitUsage);
  std::error_code ec;
  const std::string local = std::filesystem::absolute(ExpandLocalPath(args.local), ec).lexically_normal().string();
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, remote->Display(), {}};
    // A missing folder is made by the first run, inside an existing one.
    ContainerInfo folder;
    std::uint64_t id = 0;
    if (Succeeded(hr = FindContainer(*store, *remote, folder))) {
      if (const auto* tag = boost::any_cast<std::uint64_t>(&folder.tag)) id = *tag;
    } else if (hr != HR_FILE_NOT_FOUND || Failed(hr = FindContainer(*store, remote->Parent(), folder))) {
      return {hr, remote->Display(), {}};
    }
    BackupSession backup(stores.GetSession());
    if (Failed(hr = backup.Sync().AddFolder(local, remote->ContainerUri(), id))) return {hr, local, PairError(hr)};
    std::cout << local << " -> " << remote->Display() << std::endl;
    return {};
  });
}

int RunBackupList(const GlobalOptions& options) {
  Session session;
  if (!AccountSession(session)) return kExitFailure;
  BackupSession backup(session);
  const SyncSchedule schedule = backup.Sync().Schedule();
  char time[16] = "not set";
  if (!schedule.IsUnset()) std::snprintf(time, sizeof time, "%02d:%02d", schedule.hour, schedule.minute);
  const std::string lastRun = backup.Sync().LastRunText();
  if (options.json) {
    std::cout << "{\"schedule\":" << JsonString(schedule.IsUnset() ? "" : time)
              << ",\"lastRun\":" << JsonString(lastRun) << ",\"folders\":[";
    bool first = true;
    for (const SyncFolder& folder : backup.Sync().Folders()) {
      std::cout << (first ? "" : ",") << "{\"local\":" << JsonString(folder.localPath)
                << ",\"remote\":" << JsonString(folder.servicePath) << ",\"paused\":"
                << (folder.paused != 0 ? "true" : "false") << ",\"lastRun\":" << JsonString(IsoUtcText(folder.lastRun))
                << "}";
      first = false;
    }
    std::cout << "]}" << std::endl;
    return kExitOk;
  }
  std::cout << (schedule.IsUnset() ? std::string("daily time not chosen yet") : "daily at " + std::string(time)) << "; last run " << (lastRun.empty() ? "never" : lastRun) << std::endl;
  for (const SyncFolder& folder : backup.Sync().Folders()) {
    std::cout << (folder.paused != 0 ? "paused" : "active") << '\t' << LocalTimeText(folder.lastRun) << '\t'
              << folder.localPath << " -> " << folder.servicePath << std::endl;
  }
  return kExitOk;
}

int RunBackupEdit(const std::string& action, const BackupArgs& args) {
  Session session;
  if (!AccountSession(session)) return kExitFailure;
  BackupSession backup(session);
  std::error_code ec;
  const std::string local = std::filesystem::absolute(ExpandLocalPath(args.local), ec).lexically_normal().string();
  const HRESULT hr = action == "remove" ? backup.Sync().RemoveFolder(local)
                                        : backup.Sync().SetPaused(local, action == "pause");
  if (hr == HR_FILE_NOT_FOUND) return ReportMessage(args.local + ": not a backup folder; see `korvex backup list`");
  return Failed(hr) ? ReportFailure(hr, args.local) : kExitOk;
}

int RunBackupSchedule(const GlobalOptions&, const BackupArgs& args) {
  Session session;
  if (!AccountSession(session)) return kExitFailure;
  BackupSession backup(session);
  if (args.time.empty()) {
    const SyncSchedule schedule = backup.Sync().Schedule();
    if (schedule.IsUnset()) std::cout << "not set; the first run picks a time between 09:00 and 17:59" << std::endl;
    else std::printf("%02d:%02d\n", schedule.hour, schedule.minute);
    return kExitOk;
  }
  int hour = -1, minute = -1;
  char end = 0;
  if (std::sscanf(args.time.c_str(), "%d:%d%c", &hour, &minute, &end) != 2 || args.time.size() > 5 ||
      Failed(backup.Sync().SetSchedule(hour, minute)))
    return ReportMessage(args.time + ": not a time of day (HH:MM)", kExitUsage);
  return kExitOk;
}

int RunBackupNow(const GlobalOptions& options, const DeploymentValues& deployment) {
  StopSignals signals;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    BackupSession backup(stores.GetSession(), deployment, *store, "korvex backup run");
    // The running desktop client or daemon would upload the same files at
    // the same time: it is asked to run the backup instead.
    BackupRunnerLock runner(backup.TaskFolder());
    if ((hr = runner.TryAcquire("korvex backup run")) == S_FALSE) {
      const BackupRunner holder = runner.Holder();
      if (Failed(hr = AskRunnerToBackUpNow(holder))) return {hr, {}, "cannot reach the program that runs the backups"};
      std::cout << "backups of this account are run by " << holder.program << " (process " << holder.pid
                << "); it was asked to back up now" << std::endl;
      return {};
    }
    if (Failed(hr)) return {hr, {}, "cannot take the backup lock"};
    hr = backup.AwaitOwnership(
        [](std::int64_t ms) {
          for (std::int64_t waited = 0; waited < ms && !g_stopRequested; waited += 100) ::usleep(100 * 1000);
          return g_stopRequested.load();
        },
        "");
    if (hr == E_ABORT) return {hr, {}, "stopped"};
    if (Failed(hr)) return {hr, {}, "cannot take over this account's transfers"};
    if (Failed(hr = backup.Manager().Start())) return {hr, {}, {}};
    std::vector<std::uint32_t> ids = backup.ResumeStoppedBackups();
    const std::vector<std::uint32_t> started = backup.Sync().Synchronize();
    ids.insert(ids.end(), started.begin(), started.end());
    if (ids.empty()) {
      std::cout << "nothing to back up: no backup folder is active (see `korvex backup list`)" << std::endl;
      return {};
    }
    hr = Follow(backup.Manager(), ids);
    if (hr == E_ABORT) return {hr, {}, "stopped"};
    return {hr, {}, Failed(hr) ? "the backup did not complete; see korvex transfers" : ""};
  });
}

}  // namespace korvex::cli
