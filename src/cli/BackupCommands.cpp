//===- cli/BackupCommands.cpp - korvex backup -----------------------------===//

#include "cli/BackupCommands.h"

#include "cli/BackupNotice.h"
#include "cli/BackupSession.h"
#include "cli/Console.h"
#include "cli/RemoteTree.h"
#include "cli/SessionRunner.h"
#include "session/RemotePath.h"
#include "session/SessionStores.h"
#include "sync/BackupRunnerLock.h"
#include "tasks/TreeCheck.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
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
      // "\x1b[K" clears whatever a longer earlier line left behind.
      std::cerr << (terminal ? "\r" : "") << HumanSize(done) << " sent" << states << (terminal ? "\x1b[K" : "\n")
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
  // Files the service does not store (empty ones) are named, not hidden.
  constexpr std::string_view kMark = " : Error by 0x";
  for (std::uint32_t id : ids) {
    const auto family = manager.GetFamily(id);
    for (const auto& [paths, value] : family ? family->Options() : std::map<std::string, std::string>{}) {
      if (!value.starts_with(kMark)) continue;
      const auto code = static_cast<HRESULT>(std::strtoul(value.c_str() + kMark.size(), nullptr, 16));
      const char* why =
          code == HR_NAMES_DIFFER_IN_CASE ? "its name differs only in case from another one there" : "";
      std::cerr << "not backed up: " << paths.substr(0, paths.find("-->")) << ": " << StatusText(code, why)
                << std::endl;
    }
  }
  return S_OK;
}

/// Prints what each run of `ids` did; a run that skipped files or failed
/// makes the command fail.
CommandOutcome Outcome(const SyncService& sync, const std::vector<std::uint32_t>& ids, HRESULT followed) {
  HRESULT failed = S_OK, skipped = S_OK;
  for (std::uint32_t id : ids) {
    BackupRun run;
    // The run's record is settled right after its family's end is told.
    for (int i = 0; i < 100 && sync.RunOf(id, run) && run.outcome == BackupOutcome::kRunning; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!sync.RunOf(id, run)) continue;
    std::cout << run.localPath << ": " << BackupRunSummary(run) << std::endl;
    for (const std::string& line : SkippedLines(run)) std::cout << "  skipped " << line << std::endl;
    if (run.outcome == BackupOutcome::kFailed && Succeeded(failed)) failed = Failed(run.error) ? run.error : E_FAIL;
    if (run.outcome == BackupOutcome::kSkipped && Succeeded(skipped)) skipped = run.skipped.front().reason;
  }
  if (Failed(failed)) return {failed, "the backup did not complete (see `korvex backup list`)", BackupSkipText(failed)};
  if (Failed(followed)) return {followed, "the backup did not complete (see `korvex backup list`)", {}};
  if (Failed(skipped)) return {skipped, "some files were not backed up (see above)", BackupSkipText(skipped)};
  return {};
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
    ContainerInfo folder;
    std::uint64_t id = 0;
    // The first run makes a missing folder, and the missing ones above it.
    std::optional<RemotePath> missing;
    if (Succeeded(hr = FindContainer(*store, *remote, folder))) {
      if (const auto* tag = boost::any_cast<std::uint64_t>(&folder.tag)) id = *tag;
    } else if (hr == E_INVALIDARG) {
      return {hr, remote->Display(), "a file of that name is in the way"};
    } else if (hr == HR_FILE_NOT_FOUND) {
      missing = *remote;
      while (!missing->Parent().IsRoot() && FindContainer(*store, missing->Parent(), folder) == HR_FILE_NOT_FOUND)
        missing = missing->Parent();
    } else {
      return {hr, remote->Display(), {}};
    }
    BackupSession backup(stores.GetSession());
    std::string clash;
    if (Failed(hr = backup.Sync().AddFolder(local, remote->ContainerUri(), id, &clash))) {
      if (hr == HR_SYNC_FOLDERS_OVERLAP)
        return {hr, remote->Display() + " overlaps the backup " + clash,
                "a backup's service folder may not lie inside another backup's, nor hold one"};
      return {hr, local, PairError(hr)};
    }
    std::cout << local << " -> " << remote->Display();
    if (missing) std::cout << " (" << missing->Display() << " is missing on the service; the first run makes it)";
    std::cout << std::endl;
    return {};
  });
}

namespace {

void PrintRunJson(const BackupRun* run) {
  if (run == nullptr) {
    std::cout << ",\"result\":\"\"";
    return;
  }
  std::cout << ",\"result\":" << JsonString(BackupOutcomeWord(run->outcome)) << ",\"uploaded\":" << run->uploaded
            << ",\"ended\":" << JsonString(IsoUtcText(run->ended)) << ",\"skipped\":[";
  for (std::size_t i = 0; i < run->skipped.size(); ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<std::uint32_t>(run->skipped[i].reason));
    std::cout << (i == 0 ? "" : ",") << "{\"path\":" << JsonString(run->skipped[i].path)
              << ",\"reason\":" << JsonString(BackupSkipText(run->skipped[i].reason).empty()
                                                ? StatusText(run->skipped[i].reason, "error")
                                                : BackupSkipText(run->skipped[i].reason)) << ",\"code\":\"" << code
              << "\"}";
  }
  std::cout << "]";
  if (run->outcome == BackupOutcome::kFailed) std::cout << ",\"error\":" << JsonString(StatusText(run->error, "error"));
}

}  // namespace

int RunBackupList(const GlobalOptions& options) {
  Session session;
  if (!AccountSession(session)) return kExitFailure;
  BackupSession backup(session);
  SyncService& sync = backup.Sync();
  if (const std::string problem = sync.ConfigProblem(); !problem.empty()) (void)ReportMessage("warning: " + problem);
  const SyncSchedule schedule = sync.Schedule();
  char time[16] = "not set";
  if (!schedule.IsUnset()) std::snprintf(time, sizeof time, "%02d:%02d", schedule.hour, schedule.minute);
  const std::string lastRun = sync.LastRunText();
  // Pairs whose local folder is away are listed too: they run again when
  // it returns.
  std::vector<std::pair<SyncFolder, bool>> pairs;
  for (const SyncFolder& folder : sync.Folders()) pairs.emplace_back(folder, false);
  for (const SyncFolder& folder : sync.AbsentFolders()) pairs.emplace_back(folder, true);
  const std::map<std::string, BackupRun> runs = sync.LastRuns();
  auto runOf = [&runs](const SyncFolder& folder) -> const BackupRun* {
    const auto found = runs.find(folder.localPath);
    return found == runs.end() ? nullptr : &found->second;
  };
  if (options.json) {
    std::cout << "{\"schedule\":" << JsonString(schedule.IsUnset() ? "" : time)
              << ",\"lastRun\":" << JsonString(lastRun) << ",\"folders\":[";
    bool first = true;
    for (const auto& [folder, absent] : pairs) {
      std::cout << (first ? "" : ",") << "{\"local\":" << JsonString(folder.localPath)
                << ",\"remote\":" << JsonString(folder.servicePath) << ",\"paused\":"
                << (folder.paused != 0 ? "true" : "false") << ",\"missing\":" << (absent ? "true" : "false")
                << ",\"lastRun\":" << JsonString(IsoUtcText(folder.lastRun));
      PrintRunJson(runOf(folder));
      std::cout << "}";
      first = false;
    }
    std::cout << "]}" << std::endl;
    return kExitOk;
  }
  std::cout << (schedule.IsUnset() ? std::string("daily time not chosen yet") : "daily at " + std::string(time)) << "; last run " << (lastRun.empty() ? "never" : lastRun) << std::endl;
  for (const auto& [folder, absent] : pairs) {
    const BackupRun* run = runOf(folder);
    std::cout << (absent ? "missing" : folder.paused != 0 ? "paused" : "active") << '\t'
              << LocalTimeText(folder.lastRun) << '\t' << (run ? BackupRunSummary(*run) : "never run") << '\t'
              << folder.localPath << " -> " << folder.servicePath
              << (absent ? " (the local folder is missing; not backed up until it returns)" : "") << std::endl;
    if (run == nullptr) continue;
    for (const std::string& line : SkippedLines(*run)) std::cout << "\tskipped " << line << std::endl;
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
    // A backup stopped by an earlier run is replaced by a fresh one here,
    // not resumed.
    const std::vector<std::uint32_t> ids = backup.Sync().Synchronize();
    if (ids.empty()) {
      std::cout << "nothing to back up: no backup folder is active (see `korvex backup list`)" << std::endl;
      return {};
    }
    hr = Follow(backup.Manager(), ids);
    if (hr == E_ABORT) return {hr, {}, "stopped"};
    return Outcome(backup.Sync(), ids, hr);
  });
}

}  // namespace korvex::cli
