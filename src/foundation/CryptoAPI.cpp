//===- foundation/CryptoAPI.cpp - Password-keyed RC4 and MD5 --------------===//

#include "foundation/CryptoAPI.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/EncryptedFileFormat.h"
#include "foundation/FileIo.h"
#include "foundation/LogMgr.h"
#include "foundation/PasswordBytes.h"
#include "platform/SystemError.h"

namespace korvex {
namespace {

constexpr char kCategory[] = "CryptoAPI";

// Both texts are used reversed, last letter first. They are part of the
// stored formats: changing either breaks every existing ".lock" file (check
// digest) or task file (protected field).
constexpr std::string_view kCheckKeyText = "PlumeTrackOrbitLanternXy";
constexpr std::string_view kFieldKeyText = "QuillHarborMeadowSignalCopperFrostPyx";

constexpr HRESULT kNoKey = HResultFromWin32(6);               // ERROR_INVALID_HANDLE
constexpr HRESULT kMoreData = HResultFromWin32(234);          // ERROR_MORE_DATA
constexpr HRESULT kPasswordMismatch = HResultFromWin32(86);   // ERROR_INVALID_PASSWORD
constexpr HRESULT kTruncated = HResultFromWin32(38);          // ERROR_HANDLE_EOF

// A caller-given block size for a headerless file; anything larger is a
// mistake, not a format, and must not turn into a huge allocation.
constexpr std::uint32_t kMaxCallerBlockSize = 16u * 1024u * 1024u;

// Check digests cover one block; the bound also keeps the padded size from
// wrapping around.
constexpr std::size_t kMaxCheckedLength = std::size_t{1} << 31;

std::string Reversed(std::string_view text) { return std::string(text.rbegin(), text.rend()); }

unsigned Bits(HRESULT hr) { return static_cast<unsigned>(hr); }

/// Where the digest and the blocks of one encrypted file are.
struct BlockLayout {
  std::uint32_t blockSize = kDefaultEncryptedBlockSize;
  std::uint32_t firstBlockSize = kDefaultEncryptedBlockSize;
};

/// Reads the header if there is one and leaves the file at the digest.
HRESULT ReadLayout(InputFile& in, std::uint32_t callerBlockSize, BlockLayout* layout) {
  std::array<std::uint8_t, kEncryptedHeaderSize> head{};
  std::size_t got = 0;
  HRESULT hr = in.Read(head.data(), head.size(), &got);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error reading ciphertext, ret = %08X", Bits(hr));
    return hr;
  }
  const auto info = got == head.size() ? ParseEncryptedHeader(head) : std::nullopt;
  if (info) {
    if (callerBlockSize != 0) {
      LogMgr::Get().Warn(kCategory, "Block size given for a file with a header, ret = %08X",
                         Bits(E_INVALIDARG));
      return E_INVALIDARG;
    }
    layout->blockSize = info->blockSize;
    layout->firstBlockSize = info->firstBlockSize;
    return S_OK;
  }
  if (callerBlockSize > kMaxCallerBlockSize) {
    LogMgr::Get().Warn(kCategory, "Block size %u out of range, ret = %08X", callerBlockSize,
                       Bits(E_INVALIDARG));
    return E_INVALIDARG;
  }
  layout->blockSize = callerBlockSize != 0 ? callerBlockSize : kDefaultEncryptedBlockSize;
  layout->firstBlockSize = layout->blockSize;
  hr = in.Rewind();
  if (Failed(hr)) LogMgr::Get().Warn(kCategory, "Error reading ciphertext, ret = %08X", Bits(hr));
  return hr;
}

}  // namespace

CryptoAPI::CryptoAPI() = default;
CryptoAPI::~CryptoAPI() = default;

HRESULT CryptoAPI::DigestPassword(std::string_view password, Md5::Digest& digest) {
  return Md5::Of(password.data(), password.size(), digest);
}

HRESULT CryptoAPI::SetPassword(std::string_view password) {
  // Discarded first: after ComputeCheckDigest the previous key is the
  // built-in check key, and a failed re-key must not leave it to encrypt
  // the user's data.
  keyReady_ = false;
  rc4_.ClearKey();
  Md5::Digest key{};
  HRESULT hr = DigestPassword(password, key);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error during CryptHashData, ret = %08X", Bits(hr));
    return hr;
  }
  keyReady_ = true;
  hr = rc4_.SetKey(key);
  std::fill(key.begin(), key.end(), std::uint8_t{0});
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error during CryptDeriveKey, ret = %08X", Bits(hr));
  }
  return hr;
}

HRESULT CryptoAPI::Transform(std::uint8_t* data, std::size_t length, bool final,
                             const char* operation) {
  HRESULT hr = rc4_.HasKey() ? S_OK : kNoKey;
  if (Succeeded(hr) && length > 0) hr = rc4_.Apply(data, data, length);
  // The classic provider restarted a stream cipher after the last piece of
  // a message; callers that key once and encrypt several messages rely on it.
  if (Succeeded(hr) && final) hr = rc4_.Restart();
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error during %s, ret = %08X", operation, Bits(hr));
  }
  return hr;
}

HRESULT CryptoAPI::Encrypt(std::uint8_t* data, std::size_t* length, std::size_t bufferSize,
                           bool final) {
  if (*length > bufferSize) {
    LogMgr::Get().Warn(kCategory, "Error during CryptEncrypt, ret = %08X", Bits(kMoreData));
    return kMoreData;
  }
  return Transform(data, *length, final, "CryptEncrypt");
}

HRESULT CryptoAPI::Decrypt(std::uint8_t* data, std::size_t* length, bool final) {
  return Transform(data, *length, final, "CryptDecrypt");
}

HRESULT CryptoAPI::ComputeCheckDigest(const std::uint8_t* data, std::size_t length,
                                      Md5::Digest& digest) {
  if (length > kMaxCheckedLength) return E_INVALIDARG;
  HRESULT hr = SetPassword(Reversed(kCheckKeyText));
  if (Failed(hr)) return hr;
  std::vector<std::uint8_t> buffer;
  try {
    // Zero-padded to the next multiple of 16 above the length, so that short
    // data is hashed together with zeros behind it.
    buffer.assign(length - length % 16 + 16, 0);
  } catch (const std::bad_alloc&) {
    LogMgr::Get().Warn(kCategory, "Out of memory, ret = %08X", Bits(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  if (length > 0) std::memcpy(buffer.data(), data, length);
  std::size_t encrypted = length;
  hr = Encrypt(buffer.data(), &encrypted, buffer.size(), true);
  if (Failed(hr)) return hr;
  hr = Md5::Of(buffer.data(), std::max<std::size_t>(length, 16), digest);
  if (Failed(hr)) LogMgr::Get().Warn(kCategory, "Error MD5 AddData, ret = %08X", Bits(hr));
  return hr;
}

HRESULT CryptoAPI::DecryptFile(const std::filesystem::path& encryptedPath,
                               const std::filesystem::path& plainPath, std::string_view password,
                               std::uint32_t blockSize) {
  const PasswordForms forms(password, ReadPasswordCodePage());
  InputFile in;
  HRESULT hr = in.Open(encryptedPath);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error opening ciphertext file, ret = %08X", Bits(hr));
    return hr;
  }
  BlockLayout layout;
  hr = ReadLayout(in, blockSize, &layout);
  if (Failed(hr)) return hr;

  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(std::size_t{layout.blockSize} + kCheckDigestSize);
  } catch (const std::bad_alloc&) {
    LogMgr::Get().Warn(kCategory, "Out of memory, ret = %08X", Bits(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  std::size_t firstLength = 0;
  const std::string* key = nullptr;
  hr = ReadFirstBlock(in, layout.firstBlockSize, forms, buffer, &firstLength, &key);
  if (Failed(hr)) return hr;

  SiblingFileWriter out;
  hr = out.Open(plainPath);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error opening plaintext file, ret = %08X", Bits(hr));
    return hr;
  }
  hr = out.Write(buffer.data() + kCheckDigestSize, firstLength);
  if (Succeeded(hr)) hr = CopyLaterBlocks(in, out, *key, layout.blockSize, buffer);
  if (Failed(hr)) return hr;  // the writer removes its partial output
  hr = out.Commit();
  if (Failed(hr)) LogMgr::Get().Warn(kCategory, "Error writing plaintext, ret = %08X", Bits(hr));
  return hr;
}

HRESULT CryptoAPI::ReadFirstBlock(InputFile& in, std::uint32_t firstBlockSize,
                                  const PasswordForms& forms, std::vector<std::uint8_t>& buffer,
                                  std::size_t* length, const std::string** key) {
  std::size_t got = 0;
  HRESULT hr = in.Read(buffer.data(), kCheckDigestSize, &got);
  if (Succeeded(hr) && got < kCheckDigestSize) hr = kTruncated;
  if (Succeeded(hr)) hr = in.Read(buffer.data() + kCheckDigestSize, firstBlockSize, length);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error reading ciphertext, ret = %08X", Bits(hr));
    return hr;
  }
  std::uint8_t* first = buffer.data() + kCheckDigestSize;
  std::vector<std::uint8_t> cipher;
  try {
    cipher.assign(first, first + *length);
  } catch (const std::bad_alloc&) {
    LogMgr::Get().Warn(kCategory, "Out of memory, ret = %08X", Bits(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  // The stored digest tells which of the password's byte forms the file was
  // keyed with.
  for (const std::string& form : forms.All()) {
    hr = SetPassword(form);
    if (Failed(hr)) return hr;
    std::copy(cipher.begin(), cipher.end(), first);
    hr = Decrypt(first, length, true);
    if (Failed(hr)) return hr;
    Md5::Digest digest{};
    hr = ComputeCheckDigest(first, *length, digest);
    if (Failed(hr)) return hr;
    if (std::memcmp(digest.data(), buffer.data(), kCheckDigestSize) == 0) {
      *key = &form;
      return S_OK;
    }
  }
  LogMgr::Get().Warn(kCategory, "Password error, ret = %08X", Bits(kPasswordMismatch));
  return kPasswordMismatch;
}

HRESULT CryptoAPI::CopyLaterBlocks(InputFile& in, SiblingFileWriter& out,
                                   std::string_view password, std::uint32_t blockSize,
                                   std::vector<std::uint8_t>& buffer) {
  for (;;) {
    HRESULT hr = SetPassword(password);
    if (Failed(hr)) return hr;
    std::size_t got = 0;
    hr = in.Read(buffer.data(), blockSize, &got);
    if (Failed(hr)) {
      LogMgr::Get().Warn(kCategory, "Error reading ciphertext, ret = %08X", Bits(hr));
      return hr;
    }
    if (got == 0) return S_OK;
    hr = Decrypt(buffer.data(), &got, true);
    if (Failed(hr)) return hr;
    hr = out.Write(buffer.data(), got);
    if (Failed(hr)) {
      LogMgr::Get().Warn(kCategory, "Error writing plaintext, ret = %08X", Bits(hr));
      return hr;
    }
    if (got < blockSize) return S_OK;
  }
}

HRESULT CryptoAPI::HashBuffer(const void* data, std::size_t length, HashAlgorithm algorithm,
                              std::string& hex) {
  hex.clear();
  if (algorithm != kHashMd5) return E_INVALIDARG;
  Md5::Digest digest{};
  const HRESULT hr = Md5::Of(data, length, digest);
  if (Failed(hr)) return hr;
  hex = Md5::ToHex(digest);
  return S_OK;
}

HRESULT CryptoAPI::HashFileRange(const std::filesystem::path& path, HashAlgorithm algorithm,
                                 std::string& hex, std::uint64_t offset, std::uint64_t length) {
  hex.clear();
  if (algorithm != kHashMd5) return E_INVALIDARG;
  InputFile in;
  HRESULT hr = in.Open(path);
  if (hr == HR_FILE_NOT_FOUND) {
    std::filesystem::path partial = path;
    partial += ".tmp";
    hr = in.Open(partial);
  }
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "Error opening ciphertext file, ret = %08X", Bits(hr));
    return hr;
  }
  std::vector<std::uint8_t> piece;
  try {
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, kHashReadSize)));
  } catch (const std::bad_alloc&) {
    LogMgr::Get().Warn(kCategory, "Out of memory, ret = %08X", Bits(E_OUTOFMEMORY));
    return E_OUTOFMEMORY;
  }
  Md5 md5;
  std::uint64_t done = 0;
  while (done < length) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, piece.size()));
    std::size_t got = 0;
    hr = in.ReadAt(offset + done, piece.data(), want, &got);
    if (Failed(hr)) {
      LogMgr::Get().Warn(kCategory, "Error reading ciphertext, ret = %08X", Bits(hr));
      return hr;
    }
    hr = md5.Update(piece.data(), got);
    if (Failed(hr)) return hr;
    done += got;
    if (got < want) break;
  }
  Md5::Digest digest{};
  hr = md5.Final(digest);
  if (Failed(hr)) return hr;
  hex = Md5::ToHex(digest);
  return S_OK;
}

HRESULT CryptoAPI::ProtectField(std::span<std::uint8_t, kProtectedFieldSize> field) {
  CryptoAPI crypto;
  HRESULT hr = crypto.SetPassword(Reversed(kFieldKeyText));
  if (Failed(hr)) return hr;
  std::size_t length = field.size();
  return crypto.Encrypt(field.data(), &length, field.size(), true);
}

HRESULT CryptoAPI::UnprotectField(std::span<std::uint8_t, kProtectedFieldSize> field) {
  CryptoAPI crypto;
  HRESULT hr = crypto.SetPassword(Reversed(kFieldKeyText));
  if (Failed(hr)) return hr;
  std::size_t length = field.size();
  return crypto.Decrypt(field.data(), &length, true);
}

}  // namespace korvex
