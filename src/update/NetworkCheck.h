//===- update/NetworkCheck.h - One run of the network check -----*- C++ -*-===//
///
/// What the network-check dialog and `korvex diagnose` run: bring the check
/// module up to date from the web site, load it, run it until it ends or the
/// user cancels, and turn its status into one message.
///
///   idle --Start--> updating module --> checking --(module done)--> finished
///                        |                  |                        ^
///                        +---- Cancel ------+--> module cancelled ---+
///
/// A failed update only logs, and a refused download is also reported in
/// the result: the check goes on with the module at hand.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/HResult.h"

namespace korvex {

struct NetworkCheckResult {
  HRESULT status = E_UNEXPECTED;
  std::string message;               ///< the one line for the user
  std::string report;                ///< the module's text; after a failed load, where it was looked for and why
  std::string moduleUpdate;          ///< why a published module was refused; empty otherwise
  std::filesystem::path modulePath;  ///< the module that ran (empty when none did)
};

struct NetworkCheckOptions {
  std::string webUrl;                                     ///< where the module's updates are published
  std::string library = "libKorvexDiagnosis.so";          ///< as for LoadDiagnosis
  std::string moduleUpdateTarget;                         ///< empty: the per-user copy
  std::string targets;                                    ///< passed to KDD_StartDiagnosis
};

/// Runs one check on the calling thread; `cancel` (may be null) stops it.
[[nodiscard]] NetworkCheckResult RunNetworkCheck(const NetworkCheckOptions& options, Event* cancel);

/// The check on a thread of its own, at most one at a time.
class NetworkCheck {
 public:
  using Done = std::function<void(const NetworkCheckResult&)>;

  explicit NetworkCheck(NetworkCheckOptions options);
  /// Cancels a running check and waits for its thread.
  ~NetworkCheck();
  NetworkCheck(const NetworkCheck&) = delete;
  NetworkCheck& operator=(const NetworkCheck&) = delete;

  /// Starts a check whose end calls `done` on the check's thread (which
  /// must not start the next check itself). False (nothing started) while
  /// one is running.
  bool StartCheck(Done done);
  /// Asks the running check to stop; it still ends through `done`.
  void CancelCheck();

 private:
  NetworkCheckOptions options_;
  std::mutex mutex_;  // guards the members below
  bool running_ = false;
  std::unique_ptr<Event> cancel_;
  std::thread thread_;
};

}  // namespace korvex
