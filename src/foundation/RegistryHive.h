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
/// The client reads two value types, DWORD and SZ. A value of any other
/// form (the "hex:", "hex(2):" and "hex(7):" lines of real registry exports,
/// with their "\" continuation lines, or a damaged number) is kept as it is
/// written: it reads like a value of the wrong type, is written back
/// unchanged, and gives way to a value the client stores under its name.
/// Only text that is no registry export at all fails to parse. Key paths and
/// value names compare case-insensitively (ASCII letters), as registry names
/// do; the spelling of the first writer is kept. Text is UTF-8.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

struct RegistryValue {
  /// Unread: a value the client does not read; `text` holds everything after
  /// its "=" as written, continuation lines included.
  enum class Type { Dword, String, Unread };
  Type type = Type::String;
  std::uint32_t dword = 0;
  std::string text;

  static RegistryValue Dword(std::uint32_t v) { return {Type::Dword, v, {}}; }
  static RegistryValue String(std::string_view s) { return {Type::String, 0, std::string(s)}; }
  static RegistryValue Unread(std::string_view raw) { return {Type::Unread, 0, std::string(raw)}; }
  bool operator==(const RegistryValue&) const = default;
};

class RegistryHive {
 public:
  /// `rootName` is the hive's name in key headers ("HKEY_CURRENT_USER").
  explicit RegistryHive(std::string rootName);

  /// Replaces the content with the parsed `text`. A text without the export
  /// header fails: the content is unchanged and `error` (when given) says
  /// "line N: reason". A malformed line after the header is skipped (with
  /// the values under it when it is a key header) and `error` lists each
  /// such "line N: reason", separated by "; ". Accepts LF or
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

  /// "key path" and "value name" of every Unread value, in file order.
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> UnreadValues() const;
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
  /// Parses one line; `continued` receives the name of an Unread value whose
  /// data goes on in the next line, which ParseContinuation then appends.
  bool ParseLine(std::string_view line, std::size_t& current, std::optional<std::string>& continued,
                 std::string& reason);
  void ParseContinuation(std::string_view line, std::size_t current,
                         std::optional<std::string>& continued);

  std::string root_;
  std::vector<Key> keys_;  // in order of first appearance; hives hold few keys
};

}  // namespace korvex
