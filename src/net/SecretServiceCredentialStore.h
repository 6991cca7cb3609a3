//===- net/SecretServiceCredentialStore.h - Credentials in the keyring -*- C++ -*-===//
///
/// Credentials as items of the desktop keyring's default collection (the
/// Secret Service over D-Bus, through libsecret). Each item carries the
/// attributes "application" = "KorvexDataSMB", "target", "user" and
/// "comment"; the secret is the credential's text. Create() succeeds only
/// when a session bus is there and the default collection exists and is
/// unlocked: the core never makes the keyring prompt the user.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>

#include "net/CredentialStore.h"

namespace korvex {

class SecretServiceCredentialStore final : public CredentialStore {
 public:
  /// Null when no unlocked keyring answers.
  [[nodiscard]] static std::unique_ptr<SecretServiceCredentialStore> Create();

  /// A secret with a NUL byte is refused with E_INVALIDARG: the keyring
  /// keeps text.
  [[nodiscard]] HRESULT Write(const Credential& credential) override;
  [[nodiscard]] HRESULT Read(std::string_view targetName, Credential& out) override;
  [[nodiscard]] HRESULT Enumerate(std::string_view targetPrefix,
                                  std::vector<Credential>& out) override;
  [[nodiscard]] HRESULT Delete(std::string_view targetName) override;
  [[nodiscard]] std::string_view BackendName() const override { return "Secret Service"; }

 private:
  SecretServiceCredentialStore() = default;
};

}  // namespace korvex
