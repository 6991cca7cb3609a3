//===- cli/DaemonCommand.cpp - korvex daemon ------------------------------===//
//
// The client without a window, as a systemd user service runs it: stored
// transfers continue, the daily backup runs at its time, and backups that a
// lost network stopped are resumed when a connection is made again; a run
// that skips files or fails is told on standard error, in the log and as a
// desktop notification. When the service ends the session, the daemon logs
// in again with the saved password and its retrying backups go on.

#include "cli/BackupCommands.h"
#include "cli/BackupNotice.h"
#include "cli/BackupSession.h"
#include "cli/Console.h"
#include "cli/RetryNotice.h"
#include "cli/SessionRunner.h"
#include "cli/BackgroundRunner.h"
#include "cli/DaemonMounts.h"
#include "foundation/LogMgr.h"
#include "platform/Event.h"
#include "session/SessionFile.h"
#include "session/SessionStores.h"
#include "sync/BackupRunnerLock.h"
#include "sync/NetworkEventSink.h"
#include "tasks/TaskFamilyEventListener.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <memory>
#include <utility>

namespace korvex::cli {
namespace {

Event* g_stopEvent = nullptr;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnDaemonSignal(int signal) {
  const int saved = errno;
  g_signal = signal;
  // An eventfd write is safe in a handler, whichever thread runs it.
  if (g_stopEvent != nullptr) g_stopEvent->Set();
  errno = saved;
}

/// SIGINT and SIGTERM set `stop` while the object lives, so that the daemon
/// ends in order: transfers stop with their progress kept.
class StopSignals {
 public:
  explicit StopSignals(Event& stop) {
    g_stopEvent = &stop;
    struct sigaction action {};
    action.sa_handler = OnDaemonSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &int_);
    sigaction(SIGTERM, &action, &term_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &int_, nullptr);
    sigaction(SIGTERM, &term_, nullptr);
    g_stopEvent = nullptr;
  }

 private:
  struct sigaction int_ {};
  struct sigaction term_ {};
};

/// Waits until this process may run the account's backups: the desktop
/// client may run them now, and two runners would upload everything twice.
/// False when `stop` came first.
bool AwaitBackupRunnerRole(BackupRunnerLock& runner, Event& stop) {
  bool told = false;
  for (;;) {
    const HRESULT hr = runner.TryAcquire("korvex daemon");
    if (hr == S_OK) break;
    if (Failed(hr)) {
      std::cerr << "korvex daemon: cannot take the backup lock: " << StatusText(hr) << std::endl;
      return false;
    }
    if (!told) {
      const BackupRunner holder = runner.Holder();
      std::cerr << "korvex daemon: " << holder.program << " (process " << holder.pid
                << ") runs this account's backups; waiting until it ends" << std::endl;
      told = true;
    }
    if (stop.Wait(5000)) return false;
  }
  if (told) std::cerr << "korvex daemon: now running this account's backups" << std::endl;
  return true;
}

/// Tells the daemon that the service refused its session: backup tasks then
/// retry in vain, and nobody else would log in for it.
class SessionRefusalWatch final : public TaskFamilyEventListener {
 public:
  explicit SessionRefusalWatch(Event& refused) : refused_(refused) {}
  void OnTaskFamilyEvent(TaskFamily&, FamilyEventKind, Task*, TaskEvent event, ErrorDetail,
                         HRESULT error) override {
    if (event == TaskEvent::kError && error == kSessionRefused) refused_.Set();
  }

 private:
  Event& refused_;
};

constexpr std::int64_t kFirstLoginPauseMs = 30'000;
constexpr std::int64_t kLongestLoginPauseMs = 30 * 60'000;

/// Puts a live session into `session` after the service refused it: a newer
/// one that a korvex command saved meanwhile, else a login with the saved
/// password, tried again with growing pauses (30 s doubling to 30 min) so
/// that a service that is down is not hammered. False when `stop` came first.
bool LogInAgain(Session& session, const DeploymentValues& deployment, Event& stop) {
  std::int64_t pause = kFirstLoginPauseMs;
  for (;;) {
    Session saved;
    if (Succeeded(LoadSession(saved)) && saved.webUrl == deployment.webUrl &&
        saved.accountName == session.accountName &&
        (saved.phpSessionId != session.phpSessionId || saved.authPro != session.authPro)) {
      session = std::move(saved);
      std::cerr << "korvex daemon: the service ended the session; going on with the one korvex login saved"
                << std::endl;
      return true;
    }
    if (RenewSession(session, deployment)) {
      std::cerr << "korvex daemon: the service ended the session; logged in again" << std::endl;
      LogMgr::Get().Info("korvex daemon", "session ended by the service; logged in again");
      return true;
    }
    std::cerr << "korvex daemon: the service ended the session and logging in again failed; backups wait. "
              << "Trying again in " << pause / 1000 << " s (`korvex login --remember-password` lets the daemon "
              << "log in by itself)" << std::endl;
    LogMgr::Get().Error("korvex daemon", "session ended by the service; cannot log in again, next try in %lld s",
                        static_cast<long long>(pause / 1000));
    if (stop.Wait(pause)) return false;
    pause = std::min(2 * pause, kLongestLoginPauseMs);
  }
}

}  // namespace

int RunDaemon(const GlobalOptions& options, const DeploymentValues& deployment) {
  std::unique_ptr<Event> stop, refused;
  if (const HRESULT hr = Event::Create(true, false, stop); Failed(hr)) return ReportFailure(hr);
  if (const HRESULT hr = Event::Create(true, false, refused); Failed(hr)) return ReportFailure(hr);
  StopSignals signals(*stop);
  // Outlives the manager that calls it.
  SessionRefusalWatch watch(*refused);
  // Every retry of a transient failure is told at the pace it settles to.
  RetryNotice retries(std::cerr, "korvex daemon: ", std::chrono::minutes(1));
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    BackupSession backup(stores.GetSession(), deployment, *store, "korvex daemon", AnnounceBackupRun);
    // Families that another korvex runs are its own until it ends; loading
    // them now would run them twice and, at exit, store its finished ones
    // as stopped.
    hr = backup.AwaitOwnership([&stop](std::int64_t ms) { return stop->Wait(ms); }, "korvex daemon: ");
    if (hr == E_ABORT) return {};
    if (Failed(hr)) return {hr, {}, "cannot take over this account's transfers"};
    backup.Manager().AddListener(&watch);
    backup.Manager().AddListener(&retries);
    if (Failed(hr = backup.Manager().Start())) return {hr, {}, "cannot start the transfers"};
    BackupRunnerLock runner(backup.TaskFolder());
    if (!AwaitBackupRunnerRole(runner, *stop)) return {};
    (void)backup.ResumeStoppedBackups(IsNetworkError);
    if (Failed(hr = backup.Sync().Start())) return {hr, {}, "cannot start the backup service"};
    NetworkEventSink sink([&backup](const std::string&) {
      const auto ids = backup.ResumeStoppedBackups(IsNetworkError);
      if (!ids.empty()) LogMgr::Get().Info("korvex daemon", "network back: %zu backups resumed", ids.size());
    });
    if (const HRESULT opened = sink.Open(); Failed(opened))
      std::cerr << "korvex daemon: network changes are not watched: " << StatusText(opened) << std::endl;
    std::cerr << "korvex daemon: running for " << stores.GetSession().accountName << std::endl;
    // Declared after the transfers it hands uploads to, so ended before them.
    DaemonMounts mounts(PassOnFlags(options));
    mounts.StartAll(std::cerr);
    Session session = stores.GetSession();
    Event* const events[] = {stop.get(), refused.get()};
    while (WaitAny(events, kInfinite) == 1) {
      refused->Reset();
      if (!LogInAgain(session, deployment, *stop)) break;
      // The retrying tasks carry the new cookies from their next attempt on.
      stores.UseSession(session);
      backup.UseSession(session);
    }
    std::cerr << "korvex daemon: stopping on signal " << static_cast<int>(g_signal) << std::endl;
    (void)sink.Stop(true);
    (void)backup.Sync().Stop(true);
    return {};
  });
}

}  // namespace korvex::cli
