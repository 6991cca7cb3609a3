//===- foundation/Md5.cpp - MD5 digests over OpenSSL ----------------------===//

#include "foundation/Md5.h"

#include <openssl/evp.h>

namespace korvex {
namespace {

/// Fetched once: an implicit fetch on every init costs a lookup per block.
const EVP_MD* FetchedMd5() {
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return md;
}

EVP_MD_CTX* Ctx(void* p) { return static_cast<EVP_MD_CTX*>(p); }

}  // namespace

Md5::Md5() : ctx_(EVP_MD_CTX_new()), ready_(false) {
  if (ctx_ != nullptr && FetchedMd5() != nullptr) {
    ready_ = EVP_DigestInit_ex(Ctx(ctx_), FetchedMd5(), nullptr) == 1;
  }
}

Md5::~Md5() { EVP_MD_CTX_free(Ctx(ctx_)); }

HRESULT Md5::Update(const void* data, std::size_t length) {
  if (!ready_) return E_FAIL;
  if (length == 0) return S_OK;
  if (EVP_DigestUpdate(Ctx(ctx_), data, length) != 1) return E_FAIL;
  return S_OK;
}

HRESULT Md5::Final(Digest& digest) {
  if (!ready_) return E_FAIL;
  ready_ = false;
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(Ctx(ctx_), digest.data(), &size) != 1 || size != kDigestSize) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT Md5::Of(const void* data, std::size_t length, Digest& digest) {
  const EVP_MD* md = FetchedMd5();
  if (md == nullptr) return E_FAIL;
  unsigned int size = 0;
  // EVP_Digest reads nothing for a zero length, but wants a valid pointer.
  static const std::uint8_t kNothing = 0;
  if (EVP_Digest(length == 0 ? &kNothing : data, length, digest.data(), &size, md, nullptr) != 1 ||
      size != kDigestSize) {
    return E_FAIL;
  }
  return S_OK;
}

std::string Md5::ToHex(const Digest& digest) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex(kDigestSize * 2, '\0');
  for (std::size_t n = 0; n < kDigestSize; ++n) {
    hex[2 * n] = kHex[digest[n] >> 4];
    hex[2 * n + 1] = kHex[digest[n] & 0x0F];
  }
  return hex;
}

}  // namespace korvex
