//===- cli/DaemonCommand.cpp - korvex daemon ------------------------------===//
//
// The client without a window, as a systemd user service runs it: stored
// transfers continue, the daily backup runs at its time, and backups that a
// lost network stopped are resumed when a connection is made again.

#include "cli/BackupCommands.h"
#include "cli/BackupSession.h"
#include "cli/Console.h"
#include "cli/SessionRunner.h"
#include "cli/SessionStores.h"
#include "foundation/LogMgr.h"
#include "platform/Event.h"
#include "sync/BackupRunnerLock.h"
#include "sync/NetworkEventSink.h"

#include <cerrno>
#include <csignal>
#include <memory>
#include <iostream>

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

}  // namespace

int RunDaemon(const GlobalOptions& options, const DeploymentValues& deployment) {
  std::unique_ptr<Event> stop;
  if (const HRESULT hr = Event::Create(true, false, stop); Failed(hr)) return ReportFailure(hr);
  StopSignals signals(*stop);
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    BackupSession backup(stores.GetSession(), deployment, *store);
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
    (void)stop->Wait(kInfinite);
    std::cerr << "korvex daemon: stopping on signal " << static_cast<int>(g_signal) << std::endl;
    (void)sink.Stop(true);
    (void)backup.Sync().Stop(true);
    return {};
  });
}

}  // namespace korvex::cli
