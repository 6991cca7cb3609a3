// A second, deliberately naive implementation of the encrypted-file format,
// written from the format description alone: textbook RC4 (no code shared
// with the client) and OpenSSL's MD5 called directly. Files the client writes
// must equal what Encode builds here, and files built here must decrypt in it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::reference {

using Bytes = std::vector<std::uint8_t>;
using Digest = std::array<std::uint8_t, 16>;

/// The check-digest key text as stored, already reversed.
inline constexpr std::string_view kCheckKey = "yXnretnaLtibrOkcarTemulP";
/// The protected-field key text as stored, already reversed.
inline constexpr std::string_view kFieldKey = "xyPtsorFreppoClangiSwodaeMrobraHlliuQ";

Digest Md5(const void* data, std::size_t length);
Digest Md5(std::string_view text);
std::string Hex(const Digest& digest);

/// RC4 from its textbook description, keyed with `key`, applied from the
/// start of the key stream.
Bytes Rc4(const Digest& key, const Bytes& data);

Digest CheckDigest(const Bytes& plain);

/// Encodes `plain` under `password`. With `header` false the file is the
/// older headerless kind (digest, then whole blocks).
Bytes Encode(const Bytes& plain, std::string_view password, std::uint32_t blockSize = 32768,
             bool header = true);

/// Deterministic pseudo-random bytes.
Bytes Pattern(std::size_t size, std::uint32_t seed);

inline std::string AsText(const Bytes& b) { return {b.begin(), b.end()}; }
inline Bytes AsBytes(std::string_view s) { return {s.begin(), s.end()}; }

}  // namespace korvex::reference
