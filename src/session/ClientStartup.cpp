//===- session/ClientStartup.cpp - Global options and process start -----------===//

#include "session/ClientStartup.h"

#include "foundation/Language.h"
#include "foundation/LogMgr.h"
#include "foundation/Logger.h"
#include "foundation/Startup.h"
#include "net/TlsSettings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace korvex::session {

namespace {

class StderrLogger final : public Logger {
 public:
  explicit StderrLogger(std::int32_t level) : Logger(level) {}
  void WriteLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
};

void ExportFlag(const char* name, const std::optional<std::string>& value) {
  if (value) ::setenv(name, value->c_str(), 1);
}

}  // namespace

HRESULT StartClient(const GlobalOptions& options, DeploymentValues& deployment, std::string& error) {
  // Set before the shared start-up so that its stored choice does not win
  // (it only sets a language that is still unset).
  if (options.language) SetCurrentLanguage(*options.language == "zh" ? kLanguageChinese : kLanguageEnglish);
  ExportFlag("KORVEX_WEB_URL", options.webUrl);
  ExportFlag("KORVEX_API_URL", options.apiUrl);
  ExportFlag("KORVEX_DATA_URL", options.dataUrl);
  ExportFlag("KORVEX_SERVICE_DOMAIN", options.serviceDomain);

  (void)SeedFirstRunDefaults();
  (void)ChooseLanguage();
  std::int32_t level = ReadLogLevel();
  if (options.verbose) level = std::min<std::int32_t>(level, kLogDebug);
  StartLoggers(PrepareLogFolder(), level);
  if (options.verbose) LogMgr::Get().AddLogger(new StderrLogger(level));
  LogMgr::Get().Info(nullptr, "Logger Started");
  // A settings file that could not be read was set aside before the loggers
  // ran; the user learns it here, on the error stream, once.
  for (const std::string& notice : ReportSetAsideSettings()) std::cerr << "korvex: " << notice << std::endl;

  SetTlsCommandLineOverride(options.caFile, options.insecure ? std::optional<bool>(true) : std::nullopt);
  // The URL and domain flags are in the environment by now; certificate
  // settings travel through the override above, which every requestor reads.
  return LoadDeployment({}, deployment, &error);
}

void StopClient() { RunShutdown(); }

}  // namespace korvex::session
