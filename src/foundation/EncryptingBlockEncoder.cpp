//===- foundation/EncryptingBlockEncoder.cpp - Block-wise ".lock" encoding ===//

#include "foundation/EncryptingBlockEncoder.h"

#include <openssl/crypto.h>

#include <cstring>
#include <new>

#include "foundation/FileIo.h"
#include "foundation/LogMgr.h"
#include "foundation/PasswordBytes.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "CryptoAPI";

unsigned Bits(HRESULT hr) { return static_cast<unsigned>(hr); }

}  // namespace

EncryptingBlockEncoder::~EncryptingBlockEncoder() {
  if (!password_.empty()) OPENSSL_cleanse(password_.data(), password_.size());
}

HRESULT EncryptingBlockEncoder::Init(std::string_view password, std::uint32_t blockSize) {
  if (!IsEncodableBlockSize(blockSize)) return E_INVALIDARG;
  if (!password_.empty()) OPENSSL_cleanse(password_.data(), password_.size());
  const PasswordForms forms(password, ReadPasswordCodePage());
  password_.assign(forms.Preferred());
  blockSize_ = blockSize;
  return S_OK;
}

std::size_t EncryptingBlockEncoder::PlainSizeOfBlock(std::uint64_t index) const noexcept {
  return index == 0 ? blockSize_ - kEncryptedPrefixSize : blockSize_;
}

std::uint64_t EncryptingBlockEncoder::PlainOffsetOfBlock(std::uint64_t index) const noexcept {
  return index == 0 ? 0 : index * blockSize_ - kEncryptedPrefixSize;
}

HRESULT EncryptingBlockEncoder::EncodeBlock(std::uint64_t index,
                                            std::span<const std::uint8_t> plain,
                                            std::vector<std::uint8_t>& out) {
  if (blockSize_ == 0) return E_UNEXPECTED;
  if (plain.size() > PlainSizeOfBlock(index) || (index > 0 && plain.empty())) {
    return E_INVALIDARG;
  }
  const std::size_t prefix = index == 0 ? kEncryptedPrefixSize : 0;
  try {
    out.resize(prefix + plain.size());
  } catch (const std::bad_alloc&) {
    LogMgr::Get().Warn(kCategory, "Out of memory, ret = %08X", Bits(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  if (index == 0) {
    const auto header = MakeEncryptedHeader(blockSize_);
    std::memcpy(out.data(), header.data(), header.size());
    Md5::Digest digest{};
    const HRESULT hr = crypto_.ComputeCheckDigest(plain.data(), plain.size(), digest);
    if (Failed(hr)) return hr;
    std::memcpy(out.data() + header.size(), digest.data(), digest.size());
  }
  // Keyed again for every block, so that each one starts its own key stream
  // and can be decoded (or re-sent after a resume) without its predecessors.
  HRESULT hr = crypto_.SetPassword(password_);
  if (Failed(hr)) return hr;
  if (plain.empty()) return S_OK;
  std::memcpy(out.data() + prefix, plain.data(), plain.size());
  std::size_t length = plain.size();
  return crypto_.Encrypt(out.data() + prefix, &length, plain.size(), true);
}

HRESULT EncryptingBlockEncoder::EncryptFile(const std::filesystem::path& plainPath,
                                            const std::filesystem::path& encryptedPath) {
  if (blockSize_ == 0) return E_UNEXPECTED;
  InputFile in;
  HRESULT hr = in.Open(plainPath);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error opening plaintext file, ret = %08X", Bits(hr));
    return hr;
  }
  SiblingFileWriter out;
  hr = out.Open(encryptedPath);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error opening ciphertext file, ret = %08X", Bits(hr));
    return hr;
  }
  std::vector<std::uint8_t> plain(blockSize_);
  std::vector<std::uint8_t> encoded;
  for (std::uint64_t index = 0;; ++index) {
    const std::size_t want = PlainSizeOfBlock(index);
    std::size_t got = 0;
    hr = in.Read(plain.data(), want, &got);
    if (Failed(hr)) {
      LogMgr::Get().Warn(kCategory, "Error reading plaintext, ret = %08X", Bits(hr));
      return hr;
    }
    if (got == 0 && index > 0) break;
    hr = EncodeBlock(index, std::span(plain.data(), got), encoded);
    if (Failed(hr)) return hr;
    hr = out.Write(encoded.data(), encoded.size());
    if (Failed(hr)) {
      LogMgr::Get().Warn(kCategory, "Error writing ciphertext, ret = %08X", Bits(hr));
      return hr;
    }
    if (got < want) break;
  }
  hr = out.Commit();
  if (Failed(hr)) LogMgr::Get().Warn(kCategory, "Error writing ciphertext, ret = %08X", Bits(hr));
  return hr;
}

}  // namespace korvex
