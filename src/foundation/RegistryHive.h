//===- foundation/RegistryHive.h - One hive in registry-export text -*- C++ -*-===//
///
/// The in-memory content of one settings hive and its text form, the format
/// of a registry export, so that a person can read and edit it:
///
///   Windows Registry Editor Version 5.00
///
///   [HKEY_CURRENT_USER\SOFTWARE\KorvexDataSMB\common]
///   "FirstRun"=dword:00000000
///   "DisplayBanner"="1"
///
/// Only the two value types the client uses exist (DWORD and SZ). Key paths
/// and value names compare case-insensitively (ASCII letters), as registry
/// names do; the spelling of the first writer is kept. Text is UTF-8.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct RegistryValue {
  enum class Type { Dword, String };
  Type type = Type::String;
  std::uint32_t dword = 0;
  std::string text;

  static RegistryValue Dword(std::uint32_t v) { return {Type::Dword, v, {}}; }
  static RegistryValue String(std::string_view s) { return {Type::String, 0, std::string(s)}; }
  bool operator==(const RegistryValue&) const = default;
};

class RegistryHive {
 public:
  /// `rootName` is the hive's name in key headers ("HKEY_CURRENT_USER").
  explicit RegistryHive(std::string rootName);

  /// Replaces the content with the parsed `text`. On failure the content is
  /// unchanged and `error` (when given) says "line N: reason". Accepts LF or
  /// CRLF line ends, a UTF-8 byte-order mark, blank lines and ';' comments;
  /// a text of nothing but blanks is an empty hive.
  [[nodiscard]] bool Parse(std::string_view text, std::string* error = nullptr);

  /// The text form; Parse(Serialize()) reproduces the content exactly.
  [[nodiscard]] std::string Serialize() const;

  /// The value, or null when the key or value does not exist.
  [[nodiscard]] const RegistryValue* Find(std::string_view keyPath, std::string_view name) const;

  /// Stores `value`, creating the key. False when nothing changed.
  bool Set(std::string_view keyPath, std::string_view name, const RegistryValue& value);

  /// Removes the value. False when the key or value did not exist.
  bool Remove(std::string_view keyPath, std::string_view name);

  [[nodiscard]] bool HasKey(std::string_view keyPath) const;
  [[nodiscard]] bool Empty() const noexcept { return keys_.empty(); }

  /// A key path is one or more non-empty names joined by backslashes,
  /// without control characters.
  [[nodiscard]] static bool IsValidKeyPath(std::string_view keyPath);
  /// A value name (empty is the key's default value) or SZ text: no line
  /// breaks and no NUL, which the line-based text form cannot carry.
  [[nodiscard]] static bool IsStorableText(std::string_view text);

 private:
  struct Entry {
    std::string name;
    RegistryValue value;
  };
  struct Key {
    std::string path;
    std::vector<Entry> values;  // in order of first appearance
  };

  Key* FindKey(std::string_view keyPath);
  const Key* FindKey(std::string_view keyPath) const;
  Key& CreateKey(std::string_view keyPath);
  bool ParseLine(std::string_view line, std::size_t& current, std::string& reason);

  std::string root_;
  std::vector<Key> keys_;  // in order of first appearance; hives hold few keys
};

}  // namespace korvex
