//===- foundation/CryptoAPI.h - Password-keyed RC4 and MD5 ------*- C++ -*-===//
///
/// Users may protect uploads with a password: each file is encrypted block by
/// block with RC4 under the MD5 of the password, and stored on the service
/// with the suffix ".lock" until it is decrypted locally. The RC4 key is the
/// whole 16-byte MD5 of the password bytes, exactly as the original client's
/// crypto provider derived it, so files move between the two clients.
/// The same class computes the upper-case MD5 texts that the transfer
/// protocol sends with every block.
///
/// An object is used by one thread at a time; the static hashing calls may
/// run on any thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Md5.h"
#include "foundation/Rc4Stream.h"
#include "platform/HResult.h"

namespace korvex {

class InputFile;
class PasswordForms;
class SiblingFileWriter;

/// Hash algorithm identifiers as callers pass them (the classic provider's
/// numbers); MD5 is the only one in use.
enum HashAlgorithm : std::uint32_t {
  kHashMd5 = 0x8003,
};

class CryptoAPI {
 public:
  /// Size of the protected password field of task files.
  static constexpr std::size_t kProtectedFieldSize = 256;
  /// HashFileRange never reads more than this at once.
  static constexpr std::size_t kHashReadSize = 262144;

  CryptoAPI();
  virtual ~CryptoAPI();
  CryptoAPI(const CryptoAPI&) = delete;
  CryptoAPI& operator=(const CryptoAPI&) = delete;

  /// Keys the object with the MD5 of `password`'s bytes (no terminator) and
  /// starts a fresh key stream. The previous key is discarded first, so after
  /// a failure Encrypt and Decrypt fail until a later SetPassword succeeds.
  /// KeyReady() turns true once the password is hashed, even when installing
  /// the key then fails.
  [[nodiscard]] HRESULT SetPassword(std::string_view password);
  [[nodiscard]] bool KeyReady() const noexcept { return keyReady_; }

  /// Encrypts `*length` bytes of `data` in place; `*length` receives the
  /// output length (equal for RC4) and must not exceed `bufferSize`. With
  /// `final` set the message ends: the next call starts the key stream anew.
  /// Without a key: 0x80070006; a length above `bufferSize`: 0x800700EA.
  [[nodiscard]] HRESULT Encrypt(std::uint8_t* data, std::size_t* length, std::size_t bufferSize,
                                bool final);

  /// The inverse of Encrypt (the same RC4 operation), in place.
  [[nodiscard]] HRESULT Decrypt(std::uint8_t* data, std::size_t* length, bool final);

  /// The 16-byte digest that lets a reader recognise a wrong password before
  /// it writes anything: MD5 of the data encrypted under a built-in key (with
  /// zero padding to 16 bytes for shorter data). Re-keys this object.
  [[nodiscard]] HRESULT ComputeCheckDigest(const std::uint8_t* data, std::size_t length,
                                           Md5::Digest& digest);

  /// Decrypts `encryptedPath` into `plainPath`. `password` is the text the
  /// user typed; its bytes in the "PasswordCodePage" code page are tried
  /// before its UTF-8 bytes (see PasswordBytes.h). `blockSize` 0 reads the
  /// block size from the file's header (32,768 for a headerless file); a
  /// non-zero size is only for headerless files. A wrong password, a short or garbled
  /// file or any I/O failure returns a failure status and leaves
  /// `plainPath` exactly as it was: output only replaces it once complete.
  [[nodiscard]] HRESULT DecryptFile(const std::filesystem::path& encryptedPath,
                                    const std::filesystem::path& plainPath,
                                    std::string_view password, std::uint32_t blockSize = 0);

  /// MD5 of a memory block as 32 upper-case hexadecimal characters (the MD5
  /// of nothing for an empty block). Any failure leaves `hex` empty.
  [[nodiscard]] static HRESULT HashBuffer(const void* data, std::size_t length,
                                          HashAlgorithm algorithm, std::string& hex);

  /// MD5 of `length` bytes of a file from `offset`, fewer when the file ends
  /// first. A missing file is looked for as `path` + ".tmp" (a download in
  /// progress). When neither exists or anything fails, `hex` stays empty.
  [[nodiscard]] static HRESULT HashFileRange(const std::filesystem::path& path,
                                             HashAlgorithm algorithm, std::string& hex,
                                             std::uint64_t offset, std::uint64_t length);

  /// Encrypts, and decrypts, the 256-byte password field of a task record in
  /// place under the client's built-in field key.
  [[nodiscard]] static HRESULT ProtectField(std::span<std::uint8_t, kProtectedFieldSize> field);
  [[nodiscard]] static HRESULT UnprotectField(std::span<std::uint8_t, kProtectedFieldSize> field);

 protected:
  /// The MD5 of the password bytes: the one step of keying that the crypto
  /// library may refuse (a FIPS-mode OpenSSL has no MD5). Virtual so that
  /// tests can make it fail.
  [[nodiscard]] virtual HRESULT DigestPassword(std::string_view password, Md5::Digest& digest);

 private:
  /// Reads the stored digest and the first block into `buffer` (digest
  /// first) and decrypts the block under the first of `forms` whose result
  /// matches the digest; `*key` then points at that form.
  [[nodiscard]] HRESULT ReadFirstBlock(InputFile& in, std::uint32_t firstBlockSize,
                                       const PasswordForms& forms, std::vector<std::uint8_t>& buffer,
                                       std::size_t* length, const std::string** key);
  /// Decrypts every further block, each under a fresh key stream.
  [[nodiscard]] HRESULT CopyLaterBlocks(InputFile& in, SiblingFileWriter& out,
                                        std::string_view password, std::uint32_t blockSize,
                                        std::vector<std::uint8_t>& buffer);
  [[nodiscard]] HRESULT Transform(std::uint8_t* data, std::size_t length, bool final,
                                  const char* operation);

  Rc4Stream rc4_;
  bool keyReady_ = false;
};

}  // namespace korvex
