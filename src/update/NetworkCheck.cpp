//===- update/NetworkCheck.cpp - One run of the network check -------------===//

#include "update/NetworkCheck.h"

#include <poll.h>
#include <unistd.h>

#include <boost/format.hpp>

#include <cerrno>
#include <vector>

#include "foundation/LogMgr.h"
#include "update/KddAutoUpdater.h"
#include "update/KorvexDiagnosisDllThunk.h"
#include "update/UpdateTexts.h"

namespace korvex {

namespace {

constexpr const char* kCategory = "DiagnosisThd";
// After a cancel the module promises a quick end; this only guards against
// one that never ends, so that the dialog is not left waiting for ever.
constexpr int kCancelGraceMs = 30'000;

// Returns why a published module was refused, for the user; empty when it
// was installed or nothing was due.
std::string UpdateModule(const NetworkCheckOptions& options, Event* cancel) {
  KddAutoUpdater updater(options.webUrl, options.moduleUpdateTarget);
  UpdateDescription published;
  if (updater.CheckForUpdate(published, cancel) != S_OK) return {};
  LogMgr::Get().Info(nullptr, "found update for %s: %s,%s", kDiagnosisLibraryName, published.versionText.c_str(),
                     published.description.c_str());
  if (const HRESULT hr = updater.Update(cancel); Failed(hr)) {
    LogMgr::Get().Error(nullptr, "auto update %s failed: hr = 0x%08X", kDiagnosisLibraryName,
                        static_cast<unsigned>(hr));
  }
  return updater.RefusalMessage();
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

// Runs the loaded module; fills the status and the report.
void RunModule(KorvexDiagnosisDllThunk& module, const std::string& targets, Event* cancel,
               NetworkCheckResult& result) {
  const int handle = module.start(targets.c_str(), kDiagnosisProbeLimit);
  if (handle < 0) {
    result.status = E_FAIL;
    result.message = Text(kTxtCheckRunFailed);
    return;
  }
  LogMgr::Get().Debug(kCategory, "KDD_StartDiagnosis");
  std::vector<pollfd> waits{{handle, POLLIN, 0}};
  if (cancel != nullptr) waits.push_back({cancel->Fd(), POLLIN, 0});
  while (::poll(waits.data(), waits.size(), -1) < 0 && errno == EINTR) continue;
  if (!(waits[0].revents & POLLIN)) {
    LogMgr::Get().Trace(kCategory, "canceling by user");
    module.cancel();
  }
  std::vector<char> buffer(kDiagnosisReportSize, '\0');
  for (int waited = 0;; waited += 100) {
    result.status = module.get(buffer.data(), kDiagnosisReportSize);
    LogMgr::Get().Trace(kCategory, "KDD_GetDiagnosis");
    if (result.status != kDiagnosisPending || waited >= kCancelGraceMs) break;
    (void)Readable(handle, 100);
  }
  ::close(handle);
  result.report = buffer.data();
}

}  // namespace

NetworkCheckResult RunNetworkCheck(const NetworkCheckOptions& options, Event* cancel) {
  NetworkCheckResult result;
  if (!options.webUrl.empty()) result.moduleUpdate = UpdateModule(options, cancel);
  if (cancel != nullptr && cancel->TryConsume()) {
    result.status = E_ABORT;
    result.message = Text(kTxtCheckCancelled);
    return result;
  }
  KorvexDiagnosisDllThunk module;
  if (!module.LoadDiagnosis(options.library)) {
    LogMgr::Get().Error(kCategory, "Loading %s failed: %s", options.library.c_str(), module.LastError().c_str());
    result.status = HR_FILE_NOT_FOUND;
    result.message = Text(kTxtCheckLoadFailed);
    // Where it was looked for and why each place failed: enough to mend an
    // installation without reading the log.
    result.report = module.Attempts();
    return result;
  }
  result.modulePath = module.LoadedPath();
  RunModule(module, options.targets, cancel, result);
  module.Unload();
  if (!result.message.empty()) return result;
  if (result.status == S_OK) {
    result.message = Text(kTxtConnectionOk);
  } else if (result.status == E_ABORT) {
    result.message = Text(kTxtCheckCancelled);
  } else {
    result.message =
        (boost::format(std::string(Text(kTxtConnectionProblem))) % static_cast<unsigned>(result.status)).str();
  }
  return result;
}

NetworkCheck::NetworkCheck(NetworkCheckOptions options) : options_(std::move(options)) {}

NetworkCheck::~NetworkCheck() {
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    if (cancel_ != nullptr) cancel_->Set();
    thread = std::move(thread_);
  }
  if (thread.joinable()) thread.join();
}

bool NetworkCheck::StartCheck(Done done) {
  std::lock_guard lock(mutex_);
  if (running_) return false;
  if (thread_.joinable()) thread_.join();  // the last check has ended: its thread is finishing
  if (Failed(Event::Create(true, false, cancel_))) return false;
  running_ = true;
  thread_ = std::thread([this, done = std::move(done), cancel = cancel_.get()] {
    const NetworkCheckResult result = RunNetworkCheck(options_, cancel);
    {
      std::lock_guard lock(mutex_);
      running_ = false;
    }
    if (done) done(result);
  });
  return true;
}

void NetworkCheck::CancelCheck() {
  std::lock_guard lock(mutex_);
  if (running_ && cancel_ != nullptr) cancel_->Set();
}

}  // namespace korvex
