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
#include "sync/NetworkEventSink.h"

#include <csignal>
#include <iostream>

namespace korvex::cli {
namespace {

/// Blocks SIGINT and SIGTERM in this thread and every thread started after,
/// so that the daemon takes them with sigwait and ends in order.
class BlockedStopSignals {
 public:
  BlockedStopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~BlockedStopSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  int Wait() const {
    int signal = 0;
    while (sigwait(&set_, &signal) != 0) {
    }
    return signal;
  }

 private:
  sigset_t set_{};
  sigset_t old_{};
};

}  // namespace

int RunDaemon(const GlobalOptions& options, const DeploymentValues& deployment) {
  BlockedStopSignals signals;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "/", {}};
    BackupSession backup(stores.GetSession(), deployment, *store);
    if (Failed(hr = backup.Manager().Start())) return {hr, {}, "cannot start the transfers"};
    (void)backup.ResumeStoppedBackups(IsNetworkError);
    if (Failed(hr = backup.Sync().Start())) return {hr, {}, "cannot start the backup service"};
    NetworkEventSink sink([&backup](const std::string&) {
      const auto ids = backup.ResumeStoppedBackups(IsNetworkError);
      if (!ids.empty()) LogMgr::Get().Info("korvex daemon", "network back: %zu backups resumed", ids.size());
    });
    if (const HRESULT opened = sink.Open(); Failed(opened))
      std::cerr << "korvex daemon: network changes are not watched: " << StatusText(opened) << std::endl;
    std::cerr << "korvex daemon: running for " << stores.GetSession().accountName << std::endl;
    const int signal = signals.Wait();
    std::cerr << "korvex daemon: stopping on signal " << signal << std::endl;
    (void)sink.Stop(true);
    (void)backup.Sync().Stop(true);
    return {};
  });
}

}  // namespace korvex::cli
