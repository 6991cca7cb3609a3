//===- net/CredentialStore.cpp - Choosing the credential back end ---------===//

#include "net/CredentialStore.h"

#include <atomic>
#include <cstdlib>

#include "foundation/LogMgr.h"
#include "net/FileCredentialStore.h"
#include "net/SecretServiceCredentialStore.h"
#include "platform/Paths.h"

namespace korvex {

std::unique_ptr<CredentialStore> CredentialStore::Open() {
  // KORVEX_HOME moves everything of the user aside (tests, side-by-side
  // installs); the desktop keyring cannot be moved, so it is not used then.
  const char* home = std::getenv("KORVEX_HOME");
  std::unique_ptr<CredentialStore> store;
  if (home == nullptr || *home == '\0') store = OpenSecretService();
  if (!store) store = OpenFile(paths::UserConfigDir() / "KorvexDataSMB");
  // Where saved passwords went matters when a user asks why a password was
  // not remembered; once is enough, the answer does not change in a run.
  static std::atomic<bool> logged{false};
  if (!logged.exchange(true)) {
    LogMgr::Get().Info("CredentialStore", "Saved accounts are kept in the %s back end",
                       std::string(store->BackendName()).c_str());
  }
  return store;
}

std::unique_ptr<CredentialStore> CredentialStore::OpenFile(std::filesystem::path folder) {
  return std::make_unique<FileCredentialStore>(std::move(folder));
}

std::unique_ptr<CredentialStore> CredentialStore::OpenSecretService() {
  return SecretServiceCredentialStore::Create();
}

}  // namespace korvex
