//===- net/TlsSettings.cpp - Certificate checking policy -----------------===//

#include "net/TlsSettings.h"

#include <mutex>

#include "foundation/Registry.h"

namespace korvex {
namespace {

struct CommandLineOverride {
  std::mutex mutex;
  std::optional<std::string> caFile;
  std::optional<bool> insecure;
};

CommandLineOverride& Override() {
  static CommandLineOverride instance;
  return instance;
}

constexpr std::uint32_t kMissingDword = 0xFFFFFFFFu;
constexpr std::string_view kMissingText = "\x01(missing)";

/// The flag as one hive stores it: a non-zero DWORD (as the deployment
/// values read it) or the text "1" mean on.
std::optional<bool> ReadFlag(Hive hive) {
  const std::uint32_t number =
      ReadDword(hive, kProductKey, kInsecureSkipCertificateCheckValue, kMissingDword);
  if (number != kMissingDword) return number != 0;
  const std::string text =
      ReadString(hive, kProductKey, kInsecureSkipCertificateCheckValue, kMissingText);
  if (text != kMissingText) return text == "1";
  return std::nullopt;
}

}  // namespace

TlsSettings EffectiveTlsSettings() {
  TlsSettings settings;
  settings.caFile = ReadString(Hive::CurrentUser, kProductKey, kTrustedCAFileValue,
                               ReadString(Hive::LocalMachine, kProductKey, kTrustedCAFileValue, ""));
  const std::optional<bool> user = ReadFlag(Hive::CurrentUser);
  settings.insecure = user.has_value() ? *user : ReadFlag(Hive::LocalMachine).value_or(false);

  auto& override = Override();
  std::lock_guard lock(override.mutex);
  if (override.caFile.has_value()) settings.caFile = *override.caFile;
  if (override.insecure.has_value()) settings.insecure = *override.insecure;
  return settings;
}

void SetTlsCommandLineOverride(std::optional<std::string> caFile, std::optional<bool> insecure) {
  auto& override = Override();
  std::lock_guard lock(override.mutex);
  override.caFile = std::move(caFile);
  override.insecure = insecure;
}

}  // namespace korvex
