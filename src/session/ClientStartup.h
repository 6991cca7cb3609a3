//===- session/ClientStartup.h - Global options and process start ---*- C++ -*-===//
///
/// The first act of every korvex run, after the command line has been read:
/// the shared start-up routine (first-run defaults, language, log level, log
/// files) with this run's overrides applied, the certificate policy, and the
/// deployment values. Flags outrank the environment, which outranks the
/// registry.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "platform/HResult.h"

#include <optional>
#include <string>

namespace korvex::session {

struct GlobalOptions {
  std::optional<std::string> webUrl;
  std::optional<std::string> apiUrl;
  std::optional<std::string> dataUrl;
  std::optional<std::string> serviceDomain;
  std::optional<std::string> caFile;
  bool insecure = false;
  std::optional<std::string> language;  ///< "en" or "zh" for this run only
  bool json = false;
  bool verbose = false;
};

/// Runs start-up. With `language` set, that language wins over the stored
/// one for this run without being stored. With `verbose`, the log level is
/// at most 1 and log lines also go to standard error. Deployment flags are
/// also placed in this process's environment, so that every layer that
/// reads the deployment values (the login's domain check, each requestor's
/// proxy lookup) sees them. On a failure `error` says which value is wrong.
[[nodiscard]] HRESULT StartClient(const GlobalOptions& options, DeploymentValues& deployment,
                                  std::string& error);

/// Logs "Logger Stopped".
void StopClient();

}  // namespace korvex::session
