//===- net/FileCredentialStore.cpp - Credentials in a sealed file ---------===//

#include "net/FileCredentialStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/SystemError.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCategory = "CredentialStore";
constexpr std::size_t kKeySize = 32;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;

/// Closes a descriptor, and with it the flock, on every return path.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

std::string Base64Encode(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(std::max(written, 0)));
  return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
  if (text.size() % 4 != 0) return false;
  std::string bytes(text.size() / 4 * 3, '\0');
  const int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  if (written < 0) return false;
  // EVP_DecodeBlock counts the bytes that the "=" padding stands for.
  std::size_t size = static_cast<std::size_t>(written);
  if (!text.empty() && text.back() == '=') --size;
  if (text.size() >= 2 && text[text.size() - 2] == '=') --size;
  bytes.resize(size);
  out = std::move(bytes);
  return true;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

bool Seal(const std::string& key, std::string_view target, std::string_view plain,
          std::string& sealed) {
  std::string out(kNonceSize + plain.size() + kTagSize, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(out.data());
  if (RAND_bytes(bytes, kNonceSize) != 1) return false;
  CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int length = 0;
  const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, keyBytes, bytes) != 1 ||
      EVP_EncryptUpdate(ctx.get(), nullptr, &length,
                        reinterpret_cast<const unsigned char*>(target.data()),
                        static_cast<int>(target.size())) != 1 ||
      EVP_EncryptUpdate(ctx.get(), bytes + kNonceSize, &length,
                        reinterpret_cast<const unsigned char*>(plain.data()),
                        static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), bytes + kNonceSize + length, &length) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize,
                          bytes + kNonceSize + plain.size()) != 1) {
    return false;
  }
  sealed = std::move(out);
  return true;
}

bool Unseal(const std::string& key, std::string_view target, std::string_view sealed,
          std::string& plain) {
  if (sealed.size() < kNonceSize + kTagSize) return false;
  const std::size_t size = sealed.size() - kNonceSize - kTagSize;
  const auto* bytes = reinterpret_cast<const unsigned char*>(sealed.data());
  std::string out(size, '\0');
  CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int length = 0;
  std::string tag(sealed.substr(kNonceSize + size));
  const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, keyBytes, bytes) != 1 ||
      EVP_DecryptUpdate(ctx.get(), nullptr, &length,
                        reinterpret_cast<const unsigned char*>(target.data()),
                        static_cast<int>(target.size())) != 1 ||
      EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                        bytes + kNonceSize, static_cast<int>(size)) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + length,
                          &length) != 1) {
    return false;
  }
  plain = std::move(out);
  return true;
}

HRESULT ReadWholeFile(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return errno == ENOENT ? HR_FILE_NOT_FOUND : HResultFromLastErrno();
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return S_OK;
}

}  // namespace

FileCredentialStore::FileCredentialStore(fs::path folder) : folder_(std::move(folder)) {}

HRESULT FileCredentialStore::Lock(int& fd) const {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) return HResultFromErrno(ec.value());
  fd = ::open((folder_ / "credentials.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return HResultFromLastErrno();
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const HRESULT status = HResultFromLastErrno();
    ::close(fd);
    fd = -1;
    return status;
  }
  return S_OK;
}

HRESULT FileCredentialStore::LoadKey(bool create, std::string& key) const {
  const fs::path path = folder_ / "credentials.key";
  HRESULT status = ReadWholeFile(path, key);
  if (status == HR_FILE_NOT_FOUND && create) {
    key.assign(kKeySize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(key.data()), kKeySize) != 1) return E_FAIL;
    status = WriteFileAtomically(path, key, 0600);
  }
  if (Failed(status)) return status;
  if (key.size() != kKeySize) {
    LogMgr::Get().Warn(kCategory, "The key file %s has the wrong size", path.c_str());
    return HR_DECRYPT_FAILED;
  }
  return S_OK;
}

HRESULT FileCredentialStore::LoadEntries(std::vector<Entry>& entries) const {
  std::string text;
  const HRESULT status = ReadWholeFile(folder_ / "credentials", text);
  if (status == HR_FILE_NOT_FOUND) return S_OK;
  if (Failed(status)) return status;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // Fields may be empty (a credential without comment), so split at each
    // blank rather than at runs of them.
    std::istringstream fields(line);
    std::string encoded[4];
    std::string extra;
    Entry entry;
    if (!std::getline(fields, encoded[0], ' ') || !std::getline(fields, encoded[1], ' ') ||
        !std::getline(fields, encoded[2], ' ') || !std::getline(fields, encoded[3], ' ') ||
        std::getline(fields, extra, ' ') || !Base64Decode(encoded[0], entry.target) || !Base64Decode(encoded[1], entry.user) ||
        !Base64Decode(encoded[2], entry.comment) || !Base64Decode(encoded[3], entry.sealed)) {
      LogMgr::Get().Warn(kCategory, "Skipping a damaged line of %s",
                         (folder_ / "credentials").c_str());
      continue;
    }
    entries.push_back(std::move(entry));
  }
  return S_OK;
}

HRESULT FileCredentialStore::StoreEntries(const std::vector<Entry>& entries) const {
  std::string text;
  for (const Entry& entry : entries) {
    text += Base64Encode(entry.target) + ' ' + Base64Encode(entry.user) + ' ' +
            Base64Encode(entry.comment) + ' ' + Base64Encode(entry.sealed) + '\n';
  }
  return WriteFileAtomically(folder_ / "credentials", text, 0600);
}

HRESULT FileCredentialStore::Write(const Credential& credential) {
  int fd = -1;
  if (const HRESULT status = Lock(fd); Failed(status)) return status;
  FdCloser unlock{fd};
  std::string key;
  std::vector<Entry> entries;
  if (const HRESULT status = LoadKey(true, key); Failed(status)) return status;
  if (const HRESULT status = LoadEntries(entries); Failed(status)) return status;
  Entry entry{credential.targetName, credential.userName, credential.comment, {}};
  if (!Seal(key, entry.target, credential.secret, entry.sealed)) return E_FAIL;
  auto same = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.target == entry.target; });
  if (same != entries.end()) {
    *same = std::move(entry);
  } else {
    entries.push_back(std::move(entry));
  }
  return StoreEntries(entries);
}

HRESULT FileCredentialStore::Read(std::string_view targetName, Credential& out) {
  int fd = -1;
  if (const HRESULT status = Lock(fd); Failed(status)) return status;
  FdCloser unlock{fd};
  std::vector<Entry> entries;
  if (const HRESULT status = LoadEntries(entries); Failed(status)) return status;
  const auto found = std::find_if(entries.begin(), entries.end(),
                                  [&](const Entry& e) { return e.target == targetName; });
  if (found == entries.end()) return HR_FILE_NOT_FOUND;
  std::string key;
  std::string secret;
  const HRESULT keyStatus = LoadKey(false, key);
  if (Failed(keyStatus) || !Unseal(key, found->target, found->sealed, secret)) {
    LogMgr::Get().Warn(kCategory, "The saved credential %s cannot be unsealed",
                       found->target.c_str());
    return HR_DECRYPT_FAILED;
  }
  out = Credential{found->target, found->user, found->comment, std::move(secret)};
  return S_OK;
}

HRESULT FileCredentialStore::Enumerate(std::string_view targetPrefix,
                                       std::vector<Credential>& out) {
  int fd = -1;
  if (const HRESULT status = Lock(fd); Failed(status)) return status;
  FdCloser unlock{fd};
  std::vector<Entry> entries;
  if (const HRESULT status = LoadEntries(entries); Failed(status)) return status;
  std::vector<Credential> found;
  for (const Entry& entry : entries) {
    if (entry.target.starts_with(targetPrefix)) {
      found.push_back(Credential{entry.target, entry.user, entry.comment, {}});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Credential& a, const Credential& b) { return a.targetName < b.targetName; });
  out = std::move(found);
  return S_OK;
}

HRESULT FileCredentialStore::Delete(std::string_view targetName) {
  int fd = -1;
  if (const HRESULT status = Lock(fd); Failed(status)) return status;
  FdCloser unlock{fd};
  std::vector<Entry> entries;
  if (const HRESULT status = LoadEntries(entries); Failed(status)) return status;
  const auto removed = std::erase_if(entries, [&](const Entry& e) { return e.target == targetName; });
  if (removed == 0) return HR_FILE_NOT_FOUND;
  return StoreEntries(entries);
}

}  // namespace korvex
