//===- foundation/EncryptingBlockEncoder.h - Block-wise ".lock" encoding -*- C++ -*-===//
///
/// Turns plaintext into the encrypted-file format one block at a time, so
/// that an upload can encrypt what it sends without a temporary copy of the
/// whole file, and resume at any block: each block is encoded on its own
/// (fresh key stream, no state carried from the block before). Block 0 is
/// header, check digest and the first (block size - 20) plaintext bytes;
/// block i > 0 is the i-th following run of block-size plaintext bytes, so
/// encoded block i always starts at i * block size.
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

#include "foundation/CryptoAPI.h"
#include "foundation/EncryptedFileFormat.h"
#include "platform/HResult.h"

namespace korvex {

class EncryptingBlockEncoder {
 public:
  EncryptingBlockEncoder() = default;
  ~EncryptingBlockEncoder();
  EncryptingBlockEncoder(const EncryptingBlockEncoder&) = delete;
  EncryptingBlockEncoder& operator=(const EncryptingBlockEncoder&) = delete;

  /// Sets the password (the text the user typed, keyed with its bytes in the
  /// "PasswordCodePage" code page, see PasswordBytes.h) and the block size
  /// (one the header can express: a power of two KiB up to 128 KiB, or
  /// 256 KiB); E_INVALIDARG otherwise.
  [[nodiscard]] HRESULT Init(std::string_view password,
                             std::uint32_t blockSize = kDefaultEncryptedBlockSize);

  [[nodiscard]] std::uint32_t BlockSize() const noexcept { return blockSize_; }

  /// Plaintext bytes block `index` carries unless the file ends first.
  [[nodiscard]] std::size_t PlainSizeOfBlock(std::uint64_t index) const noexcept;

  /// Offset of block `index`'s first byte in the plaintext.
  [[nodiscard]] std::uint64_t PlainOffsetOfBlock(std::uint64_t index) const noexcept;

  /// Size of the encoded form of a plaintext of `plainSize` bytes.
  [[nodiscard]] static std::uint64_t EncodedSize(std::uint64_t plainSize) noexcept {
    return plainSize + kEncryptedPrefixSize;
  }

  /// Replaces `out` with encoded block `index` of `plain`, which holds
  /// PlainSizeOfBlock(index) bytes, fewer only for the last block (block 0
  /// may be empty: an empty file is header and digest alone).
  [[nodiscard]] HRESULT EncodeBlock(std::uint64_t index, std::span<const std::uint8_t> plain,
                                    std::vector<std::uint8_t>& out);

  /// Encrypts a whole file; `encryptedPath` is replaced only when the whole
  /// output is written.
  [[nodiscard]] HRESULT EncryptFile(const std::filesystem::path& plainPath,
                                    const std::filesystem::path& encryptedPath);

 private:
  CryptoAPI crypto_;
  std::string password_;
  std::uint32_t blockSize_ = 0;  // 0 until Init succeeds
};

}  // namespace korvex
