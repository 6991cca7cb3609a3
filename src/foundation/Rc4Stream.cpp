//===- foundation/Rc4Stream.cpp - RC4 key stream over OpenSSL -------------===//

#include "foundation/Rc4Stream.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <utility>

namespace korvex {
namespace {

/// The fetched RC4 cipher, shared by every stream of the process. Loaded
/// once; the providers stay loaded until exit because fetched ciphers keep
/// references into them.
class LegacyRc4 {
 public:
  static const LegacyRc4& Get() {
    static const LegacyRc4 instance;
    return instance;
  }
  [[nodiscard]] const EVP_CIPHER* Cipher() const noexcept { return cipher_; }

 private:
  LegacyRc4() {
    context_ = OSSL_LIB_CTX_new();
    if (context_ == nullptr) return;
    // Loading any provider by hand turns off the implicit default one, so
    // both are named; only this private context sees them.
    legacy_ = OSSL_PROVIDER_load(context_, "legacy");
    base_ = OSSL_PROVIDER_load(context_, "default");
    if (legacy_ != nullptr) cipher_ = EVP_CIPHER_fetch(context_, "RC4", nullptr);
  }
  // Frees nothing: OpenSSL's own exit handler may already have run when
  // static objects are destroyed, and the process is ending anyway.
  ~LegacyRc4() = default;

  OSSL_LIB_CTX* context_ = nullptr;
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* base_ = nullptr;
  EVP_CIPHER* cipher_ = nullptr;
};

// EVP lengths are int; larger requests are fed in slices.
constexpr std::size_t kMaxEvpSlice = std::size_t{1} << 30;

}  // namespace

struct Rc4Stream::EvpContext {
  EVP_CIPHER_CTX* ctx = nullptr;
  ~EvpContext() { EVP_CIPHER_CTX_free(ctx); }
};

Rc4Stream::Rc4Stream(Backend backend) {
  if (backend == Backend::kBuiltIn) return;
  const EVP_CIPHER* cipher = LegacyRc4::Get().Cipher();
  if (cipher == nullptr) return;
  auto evp = std::make_unique<EvpContext>();
  evp->ctx = EVP_CIPHER_CTX_new();
  if (evp->ctx != nullptr) evp_ = std::move(evp);
}

Rc4Stream::~Rc4Stream() { OPENSSL_cleanse(key_.data(), key_.size()); }

bool Rc4Stream::UsesOpenSsl() noexcept { return LegacyRc4::Get().Cipher() != nullptr; }

HRESULT Rc4Stream::SetKey(const Key& key) {
  key_ = key;
  hasKey_ = true;
  const HRESULT hr = Restart();
  if (Failed(hr)) ClearKey();
  return hr;
}

void Rc4Stream::ClearKey() noexcept {
  OPENSSL_cleanse(key_.data(), key_.size());
  hasKey_ = false;
}

HRESULT Rc4Stream::Restart() {
  if (!hasKey_) return E_UNEXPECTED;
  if (!evp_) {
    SoftSchedule();
    return S_OK;
  }
  const EVP_CIPHER* cipher = LegacyRc4::Get().Cipher();
  // The legacy RC4 defaults to a 16-byte key, which is the key we use; the
  // length is set explicitly so that a changed default cannot shorten it.
  if (EVP_CipherInit_ex(evp_->ctx, cipher, nullptr, nullptr, nullptr, 1) != 1 ||
      EVP_CIPHER_CTX_set_key_length(evp_->ctx, static_cast<int>(kKeySize)) != 1 ||
      EVP_CipherInit_ex(evp_->ctx, nullptr, nullptr, key_.data(), nullptr, 1) != 1) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT Rc4Stream::Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  if (!hasKey_) return E_UNEXPECTED;
  if (!evp_) {
    SoftApply(in, out, length);
    return S_OK;
  }
  while (length > 0) {
    const std::size_t slice = std::min(length, kMaxEvpSlice);
    int written = 0;
    if (EVP_CipherUpdate(evp_->ctx, out, &written, in, static_cast<int>(slice)) != 1 ||
        static_cast<std::size_t>(written) != slice) {
      return E_FAIL;
    }
    in += slice;
    out += slice;
    length -= slice;
  }
  return S_OK;
}

void Rc4Stream::SoftSchedule() {
  for (std::size_t n = 0; n < soft_.s.size(); ++n) soft_.s[n] = static_cast<std::uint8_t>(n);
  std::uint8_t j = 0;
  for (std::size_t n = 0; n < soft_.s.size(); ++n) {
    j = static_cast<std::uint8_t>(j + soft_.s[n] + key_[n % kKeySize]);
    std::swap(soft_.s[n], soft_.s[j]);
  }
  soft_.i = 0;
  soft_.j = 0;
}

void Rc4Stream::SoftApply(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  std::uint8_t i = soft_.i;
  std::uint8_t j = soft_.j;
  auto& s = soft_.s;
  for (std::size_t n = 0; n < length; ++n) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + s[i]);
    std::swap(s[i], s[j]);
    out[n] = static_cast<std::uint8_t>(in[n] ^ s[static_cast<std::uint8_t>(s[i] + s[j])]);
  }
  soft_.i = i;
  soft_.j = j;
}

}  // namespace korvex
