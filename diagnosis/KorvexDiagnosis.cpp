//===- diagnosis/KorvexDiagnosis.cpp - The network-check module -----------===//
///
/// Exports the three calls of update/KorvexDiagnosisApi.h around one
/// NetworkDiagnosis run on a thread of the module's own. The descriptor
/// handed out is a duplicate of the run's eventfd, so the caller may close
/// it whenever it likes. Unloading the module cancels and joins a run still
/// under way, so no thread of the module outlives its code.
///
//===----------------------------------------------------------------------===//

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/Deployment.h"
#include "update/KorvexDiagnosisApi.h"
#include "update/NetworkDiagnosis.h"

namespace korvex {
namespace {

class DiagnosisRun {
 public:
  ~DiagnosisRun() {
    Cancel();
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      worker = std::move(worker_);
    }
    if (worker.joinable()) worker.join();
    if (doneFd_ >= 0) ::close(doneFd_);
  }

  int Start(const char* targets, unsigned probeLimit) {
    std::lock_guard lock(mutex_);
    if (worker_.joinable() && !finished_) return -1;
    if (worker_.joinable()) worker_.join();
    if (doneFd_ >= 0) ::close(doneFd_);
    doneFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (doneFd_ < 0 || Failed(Event::Create(true, false, cancel_))) return -1;
    const int handed = ::dup(doneFd_);
    if (handed < 0) return -1;
    finished_ = false;
    status_ = kDiagnosisPending;
    report_.clear();
    worker_ = std::thread(&DiagnosisRun::Work, this, std::string(targets != nullptr ? targets : ""),
                          std::chrono::milliseconds(std::max(1u, probeLimit) * 100));
    return handed;
  }

  std::int32_t Get(char* buffer, unsigned size) {
    std::lock_guard lock(mutex_);
    if (!finished_) return kDiagnosisPending;
    if (buffer != nullptr && size > 0) {
      std::size_t length = std::min<std::size_t>(report_.size(), size - 1);
      // Never cut a UTF-8 sequence in half.
      while (length > 0 && length < report_.size() && (report_[length] & 0xC0) == 0x80) --length;
      std::memcpy(buffer, report_.data(), length);
      buffer[length] = '\0';
    }
    return status_;
  }

  void Cancel() {
    std::lock_guard lock(mutex_);
    if (cancel_ != nullptr) cancel_->Set();
  }

 private:
  void Work(std::string targets, std::chrono::milliseconds probeLimit) {
    std::string report;
    HRESULT status = E_INVALIDARG;
    std::vector<DiagnosisEndpoint> endpoints = EndpointsFromText(targets);
    DeploymentValues deployment;
    std::string error;
    if (!endpoints.empty() || Succeeded(LoadDeployment({}, deployment, &error))) {
      if (endpoints.empty()) endpoints = ConfiguredEndpoints(deployment);
      status = NetworkDiagnosis(std::move(endpoints), probeLimit).Run(*cancel_, report);
    } else {
      report = "The service's addresses are not usable: " + error + "\n";
    }
    std::lock_guard lock(mutex_);
    report_ = std::move(report);
    status_ = status;
    finished_ = true;
    const std::uint64_t one = 1;
    (void)!::write(doneFd_, &one, sizeof one);
  }

  std::mutex mutex_;  // guards everything below
  std::thread worker_;
  std::unique_ptr<Event> cancel_;
  int doneFd_ = -1;
  bool finished_ = true;
  HRESULT status_ = kDiagnosisPending;
  std::string report_;
};

DiagnosisRun g_run;

}  // namespace
}  // namespace korvex

extern "C" {

__attribute__((visibility("default"))) int KDD_StartDiagnosis(const char* targets, unsigned probeLimit) {
  return korvex::g_run.Start(targets, probeLimit);
}

__attribute__((visibility("default"))) std::int32_t KDD_GetDiagnosis(char* buffer, unsigned size) {
  return korvex::g_run.Get(buffer, size);
}

__attribute__((visibility("default"))) void KDD_CancelDiagnosis() { korvex::g_run.Cancel(); }
}
