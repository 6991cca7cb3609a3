//===- foundation/PasswordBytes.h - The bytes a file password keys with -*- C++ -*-===//
///
/// A ".lock" file's key is the MD5 of the password's bytes, so the bytes
/// decide whether two clients can open each other's files. The original
/// client keys with the password as narrow text in the system's ANSI code
/// page, which on the Chinese Windows machines of its users is 936 (GBK);
/// this client's text is UTF-8. Encryption therefore keys with the bytes in
/// the code page named by "PasswordCodePage", and decryption tries those
/// first and the UTF-8 bytes second, so that files of either client (and of
/// earlier versions of this one) open. ASCII passwords have one form only.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

inline constexpr std::uint32_t kDefaultPasswordCodePage = 936;

/// "PasswordCodePage" (DWORD) under "SOFTWARE\KorvexDataSMB": the HKCU value
/// when set, else the HKLM one, else 936.
[[nodiscard]] std::uint32_t ReadPasswordCodePage();

/// The byte forms of one password, wiped from memory when it goes away.
class PasswordForms {
 public:
  /// `password` is the UTF-8 text the user typed. A password that `codePage`
  /// cannot carry (or a code page the system does not know) has its UTF-8
  /// form alone.
  PasswordForms(std::string_view password, std::uint32_t codePage);
  ~PasswordForms();
  PasswordForms(const PasswordForms&) = delete;
  PasswordForms& operator=(const PasswordForms&) = delete;

  /// Every form, preferred first; never empty, no two alike.
  [[nodiscard]] const std::vector<std::string>& All() const noexcept { return forms_; }
  /// The form to encrypt with.
  [[nodiscard]] const std::string& Preferred() const noexcept { return forms_.front(); }

 private:
  std::vector<std::string> forms_;
};

}  // namespace korvex
