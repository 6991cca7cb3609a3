//===- net/FileCredentialStore.h - Credentials in a sealed file -*- C++ -*-===//
///
/// The credential store where no keyring answers. Two files in one folder,
/// both mode 0600:
///   "credentials"      one line per credential: target, user name, comment
///                      and the sealed blob, each Base64, separated by blanks;
///   "credentials.key"  32 random bytes, the AES-256-GCM key.
/// A blob is sealed as nonce (12 bytes) + cipher text + tag (16 bytes), with
/// the target name as associated data. Every change rewrites "credentials"
/// atomically under an flock on "credentials.lock", so the GUI and the
/// command-line client can save accounts at the same time.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "net/CredentialStore.h"

namespace korvex {

class FileCredentialStore final : public CredentialStore {
 public:
  explicit FileCredentialStore(std::filesystem::path folder);

  [[nodiscard]] HRESULT Write(const Credential& credential) override;
  [[nodiscard]] HRESULT Read(std::string_view targetName, Credential& out) override;
  [[nodiscard]] HRESULT Enumerate(std::string_view targetPrefix,
                                  std::vector<Credential>& out) override;
  [[nodiscard]] HRESULT Delete(std::string_view targetName) override;
  [[nodiscard]] std::string_view BackendName() const override { return "file"; }

 private:
  struct Entry {
    std::string target;
    std::string user;
    std::string comment;
    std::string sealed;  // nonce + cipher text + tag
  };

  [[nodiscard]] HRESULT Lock(int& fd) const;
  [[nodiscard]] HRESULT LoadEntries(std::vector<Entry>& entries) const;
  [[nodiscard]] HRESULT StoreEntries(const std::vector<Entry>& entries) const;
  /// The key; with `create`, a new one when the key file does not exist.
  [[nodiscard]] HRESULT LoadKey(bool create, std::string& key) const;

  std::filesystem::path folder_;
};

}  // namespace korvex
