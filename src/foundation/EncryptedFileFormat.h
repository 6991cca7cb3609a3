//===- foundation/EncryptedFileFormat.h - Layout of ".lock" files -*- C++ -*-===//
///
/// A password-protected file starts with a 4-byte header (0xEE 0xDD, version,
/// block size in KiB) and the 16-byte check digest of its first plaintext
/// block; then come the RC4 blocks, each with a key stream of its own. The
/// header plus the first block fill exactly one block, so every later block
/// starts at a multiple of the block size and the file is 20 bytes longer
/// than its plaintext. Files written before the header existed start with
/// the digest and use whole blocks throughout; readers accept both.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace korvex {

inline constexpr std::uint8_t kEncryptedMagic0 = 0xEE;
inline constexpr std::uint8_t kEncryptedMagic1 = 0xDD;
inline constexpr std::uint8_t kEncryptedFormatVersion = 2;
inline constexpr std::size_t kEncryptedHeaderSize = 4;
inline constexpr std::size_t kCheckDigestSize = 16;
/// Header plus digest: what the first block gives up to them.
inline constexpr std::size_t kEncryptedPrefixSize = kEncryptedHeaderSize + kCheckDigestSize;
inline constexpr std::uint32_t kDefaultEncryptedBlockSize = 32768;
/// A block-size byte of 0 stands for this size.
inline constexpr std::uint32_t kLargestEncryptedBlockSize = 256 * 1024;

/// What a valid header says about the file.
struct EncryptedHeaderInfo {
  std::uint8_t version;
  std::uint32_t blockSize;
  /// Plaintext bytes of the first block (20 fewer in version 2).
  std::uint32_t firstBlockSize;
};

/// Decodes the first four bytes; nullopt when they are no header, in which
/// case the file is a headerless one and is read from offset 0.
[[nodiscard]] std::optional<EncryptedHeaderInfo> ParseEncryptedHeader(
    const std::array<std::uint8_t, kEncryptedHeaderSize>& bytes) noexcept;

/// True for the block sizes a header can express: a power of two KiB up to
/// 128 KiB, or 256 KiB.
[[nodiscard]] bool IsEncodableBlockSize(std::uint32_t blockSize) noexcept;

/// The current-version header for `blockSize` (which must be encodable).
[[nodiscard]] std::array<std::uint8_t, kEncryptedHeaderSize> MakeEncryptedHeader(
    std::uint32_t blockSize) noexcept;

}  // namespace korvex
