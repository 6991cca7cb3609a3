//===- foundation/Registry.h - Settings in file-backed hives ----*- C++ -*-===//
///
/// The client's settings keep the shape of registry values (hive, key, value
/// name, DWORD or SZ) so that every setting keeps its documented name and
/// default. They live in text hives in the format of a registry export.
/// Reads never fail: they fall back to the caller's default when the key or
/// value is missing or stored with the other type. Writes report only
/// true/false and are atomic (temporary file, fsync, rename) under an
/// advisory lock, so two processes writing different values both keep theirs.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

enum class Hive {
  CurrentUser,   ///< HKCU: per user, writable.
  LocalMachine,  ///< HKLM: machine-wide, read only.
};

// Key paths use backslashes, as in "SOFTWARE\\KorvexDataSMB".

[[nodiscard]] std::uint32_t ReadDword(Hive hive, std::string_view key, std::string_view name,
                                      std::uint32_t defaultValue);
[[nodiscard]] bool WriteDword(Hive hive, std::string_view key, std::string_view name,
                              std::uint32_t value);
[[nodiscard]] std::string ReadString(Hive hive, std::string_view key, std::string_view name,
                                     std::string_view defaultValue);
[[nodiscard]] bool WriteString(Hive hive, std::string_view key, std::string_view name,
                               std::string_view value);
[[nodiscard]] bool DeleteValue(Hive hive, std::string_view key, std::string_view name);

/// The same five with one subkey below `key` ("%s\\%s").
[[nodiscard]] std::uint32_t ReadDword(Hive hive, std::string_view key, std::string_view subkey,
                                      std::string_view name, std::uint32_t defaultValue);
[[nodiscard]] bool WriteDword(Hive hive, std::string_view key, std::string_view subkey,
                              std::string_view name, std::uint32_t value);
[[nodiscard]] std::string ReadString(Hive hive, std::string_view key, std::string_view subkey,
                                     std::string_view name, std::string_view defaultValue);
[[nodiscard]] bool WriteString(Hive hive, std::string_view key, std::string_view subkey,
                               std::string_view name, std::string_view value);
[[nodiscard]] bool DeleteValue(Hive hive, std::string_view key, std::string_view subkey,
                               std::string_view name);

/// The "Run" value of HKCU (see AutoStart.h) is not kept in the hive: its
/// string operations act on the desktop's autostart entry.

/// The key under which nearly every setting lives.
inline constexpr std::string_view kProductKey = "SOFTWARE\\KorvexDataSMB";

}  // namespace korvex
