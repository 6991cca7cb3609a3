//===- net/TlsSettings.h - Certificate checking policy ----------*- C++ -*-===//
///
/// Certificates are always verified against the system trust store unless a
/// deployment explicitly says otherwise. A deployment may trust one extra CA
/// file (a private or test CA) and may switch verification off for tests and
/// demos; both come from the registry ("TrustedCAFile" and
/// "InsecureSkipCertificateCheck" under "SOFTWARE\KorvexDataSMB", HKCU over
/// HKLM) and from command-line flags, which win.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>

namespace korvex {

struct TlsSettings {
  /// PEM file of extra trusted CA certificates, added to the system store.
  /// Empty: only the system store.
  std::string caFile;
  /// Skip certificate and host-name verification. Every requestor that is
  /// initialised this way logs a warning.
  bool insecure = false;

  friend bool operator==(const TlsSettings&, const TlsSettings&) = default;
};

/// Registry value names.
inline constexpr const char* kTrustedCAFileValue = "TrustedCAFile";
inline constexpr const char* kInsecureSkipCertificateCheckValue = "InsecureSkipCertificateCheck";

/// What a requestor initialised now uses: the registry values (HKCU overrides
/// HKLM; the insecure flag is on for a non-zero DWORD or the text "1"), then the
/// command-line override on top.
[[nodiscard]] TlsSettings EffectiveTlsSettings();

/// For the command line (--ca-file, --insecure): values given here override
/// the registry for every requestor initialised afterwards. std::nullopt
/// leaves that setting to the registry. Call once at start-up.
void SetTlsCommandLineOverride(std::optional<std::string> caFile, std::optional<bool> insecure);

}  // namespace korvex
