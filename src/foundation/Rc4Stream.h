//===- foundation/Rc4Stream.h - RC4 key stream over OpenSSL -----*- C++ -*-===//
///
/// The encrypted-file format and the protected task-file field are RC4 with a
/// 128-bit key, so that files move freely between this client and the
/// original one. OpenSSL 3 keeps RC4 in its "legacy" provider; the stream
/// loads it into a private library context (so the rest of the process keeps
/// its default providers untouched) and falls back to a small RC4 of its own
/// when the module is not installed.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/HResult.h"

namespace korvex {

class Rc4Stream {
 public:
  static constexpr std::size_t kKeySize = 16;
  using Key = std::array<std::uint8_t, kKeySize>;

  enum class Backend { kPreferOpenSsl, kBuiltIn };

  /// kBuiltIn forces the fallback (tests compare both against each other).
  explicit Rc4Stream(Backend backend = Backend::kPreferOpenSsl);
  ~Rc4Stream();
  Rc4Stream(const Rc4Stream&) = delete;
  Rc4Stream& operator=(const Rc4Stream&) = delete;

  /// Installs `key` and starts its key stream from the beginning. On
  /// failure no key is left installed.
  [[nodiscard]] HRESULT SetKey(const Key& key);

  /// Forgets the key; Apply and Restart fail until the next SetKey.
  void ClearKey() noexcept;

  /// Starts the current key's stream again; E_UNEXPECTED without a key.
  [[nodiscard]] HRESULT Restart();

  /// XORs the next `length` key-stream bytes over `in` into `out` (`in` and
  /// `out` may be the same buffer, or must not overlap otherwise).
  [[nodiscard]] HRESULT Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t length);

  [[nodiscard]] bool HasKey() const noexcept { return hasKey_; }

  /// True when RC4 comes from OpenSSL's legacy provider rather than the
  /// built-in fallback (reported by the benchmark).
  [[nodiscard]] static bool UsesOpenSsl() noexcept;

 private:
  struct SoftState {
    std::array<std::uint8_t, 256> s;
    std::uint8_t i;
    std::uint8_t j;
  };
  void SoftSchedule();
  void SoftApply(const std::uint8_t* in, std::uint8_t* out, std::size_t length);

  Key key_{};
  bool hasKey_ = false;
  struct EvpContext;
  std::unique_ptr<EvpContext> evp_;  // null when the fallback serves
  SoftState soft_{};
};

}  // namespace korvex
