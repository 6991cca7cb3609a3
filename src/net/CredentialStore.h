//===- net/CredentialStore.h - Per-user secret storage ----------*- C++ -*-===//
///
/// Generic credentials (a target name, a user name, a comment and a secret
/// blob), one per target, private to the user. Two back ends:
///   - the desktop's Secret Service through libsecret, when a keyring
///     answers; the keyring protects the secret itself;
///   - otherwise a file in the user's configuration folder (mode 0600) whose
///     blobs are sealed with AES-256-GCM under a random per-user key kept
///     beside it (mode 0600). The target name is bound into each seal, so a
///     blob copied onto another entry no longer opens.
/// Open() picks the back end and logs once per process which one it uses.
///
/// Callers are the saved accounts (net/SavedAccounts.h). Secrets never reach
/// the log.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

struct Credential {
  std::string targetName;
  std::string userName;
  std::string comment;
  std::string secret;  ///< the blob, opened; may hold any bytes
};

class CredentialStore {
 public:
  virtual ~CredentialStore() = default;

  /// Creates or replaces the credential of `credential.targetName`.
  [[nodiscard]] virtual HRESULT Write(const Credential& credential) = 0;

  /// The credential of `targetName`: HR_FILE_NOT_FOUND when there is none,
  /// HR_DECRYPT_FAILED when its blob cannot be opened (logged at Warn,
  /// without the blob). `out` is written only on success.
  [[nodiscard]] virtual HRESULT Read(std::string_view targetName, Credential& out) = 0;

  /// Every credential whose target name starts with `targetPrefix`, sorted
  /// by target name; secrets are left empty.
  [[nodiscard]] virtual HRESULT Enumerate(std::string_view targetPrefix,
                                          std::vector<Credential>& out) = 0;

  /// Removes the credential; HR_FILE_NOT_FOUND when there is none.
  [[nodiscard]] virtual HRESULT Delete(std::string_view targetName) = 0;

  /// "Secret Service" or "file", for logs and diagnostics.
  [[nodiscard]] virtual std::string_view BackendName() const = 0;

  /// The Secret Service when a keyring answers, else the sealed file in
  /// UserConfigDir()/KorvexDataSMB. With KORVEX_HOME set always the file,
  /// so that tests and side-by-side installs never touch the user's keyring.
  [[nodiscard]] static std::unique_ptr<CredentialStore> Open();

  /// The sealed-file back end keeping its files in `folder` (normally
  /// UserConfigDir()/KorvexDataSMB).
  [[nodiscard]] static std::unique_ptr<CredentialStore> OpenFile(std::filesystem::path folder);

  /// The Secret Service back end, or null when no keyring answers (or the
  /// build has no libsecret).
  [[nodiscard]] static std::unique_ptr<CredentialStore> OpenSecretService();
};

/// A sealed blob that does not open (NTE_BAD_DATA / CRYPT_E_... family: the
/// platform's "bad data" error number 13).
inline constexpr HRESULT HR_DECRYPT_FAILED = MakeHResult(0x8007000Du);

}  // namespace korvex
