//===- foundation/RegistryHive.cpp - One hive in registry-export text -----===//

#include "foundation/RegistryHive.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/AsciiText.h"

namespace korvex {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

constexpr auto EqualNoCase = EqualsIgnoringAsciiCase;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void AppendQuoted(std::string& out, std::string_view s) {
  out.push_back('"');
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

/// Reads a quoted string at the start of `s`, removing it from `s`.
bool TakeQuoted(std::string_view& s, std::string& out, std::string& reason) {
  if (s.empty() || s.front() != '"') {
    reason = "expected '\"'";
    return false;
  }
  out.clear();
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (++i == s.size()) break;
      c = s[i];
      if (c != '\\' && c != '"') {
        reason = std::string("unknown escape \\") + c;
        return false;
      }
    }
    out.push_back(c);
  }
  reason = "unterminated string";
  return false;
}

bool ParseDword(std::string_view s, std::uint32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (AsciiToLower(c) >= 'a' && AsciiToLower(c) <= 'f') digit = AsciiToLower(c) - 'a' + 10;
    else return false;
    v = (v << 4) | static_cast<std::uint32_t>(digit);
  }
  out = v;
  return true;
}

/// A value's data as the client reads it: a quoted SZ or "dword:" with up to
/// eight hexadecimal digits. False for anything else.
bool ReadData(std::string_view data, RegistryValue& value) {
  if (!data.empty() && data.front() == '"') {
    std::string text, reason;
    if (!TakeQuoted(data, text, reason) || !Trim(data).empty()) return false;
    value = RegistryValue::String(text);
    return true;
  }
  std::uint32_t number;
  if (data.size() <= 6 || !EqualNoCase(data.substr(0, 6), "dword:") || !ParseDword(data.substr(6), number)) {
    return false;
  }
  value = RegistryValue::Dword(number);
  return true;
}

}  // namespace

RegistryHive::RegistryHive(std::string rootName) : root_(std::move(rootName)) {}

bool RegistryHive::IsValidKeyPath(std::string_view keyPath) {
  if (keyPath.empty() || keyPath.front() == '\\' || keyPath.back() == '\\') return false;
  if (keyPath.find("\\\\") != std::string_view::npos) return false;
  return std::none_of(keyPath.begin(), keyPath.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool RegistryHive::IsStorableText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

RegistryHive::Key* RegistryHive::FindKey(std::string_view keyPath) {
  for (Key& k : keys_) {
    if (EqualNoCase(k.path, keyPath)) return &k;
  }
  return nullptr;
}

const RegistryHive::Key* RegistryHive::FindKey(std::string_view keyPath) const {
  return const_cast<RegistryHive*>(this)->FindKey(keyPath);
}

RegistryHive::Key& RegistryHive::CreateKey(std::string_view keyPath) {
  if (Key* k = FindKey(keyPath)) return *k;
  keys_.push_back(Key{std::string(keyPath), {}});
  return keys_.back();
}

bool RegistryHive::HasKey(std::string_view keyPath) const { return FindKey(keyPath) != nullptr; }

const RegistryValue* RegistryHive::Find(std::string_view keyPath, std::string_view name) const {
  const Key* k = FindKey(keyPath);
  if (k == nullptr) return nullptr;
  for (const Entry& e : k->values) {
    if (EqualNoCase(e.name, name)) return &e.value;
  }
  return nullptr;
}

bool RegistryHive::Set(std::string_view keyPath, std::string_view name, const RegistryValue& value) {
  Key& k = CreateKey(keyPath);
  for (Entry& e : k.values) {
    if (!EqualNoCase(e.name, name)) continue;
    if (e.value == value) return false;
    e.value = value;
    return true;
  }
  k.values.push_back(Entry{std::string(name), value});
  return true;
}

bool RegistryHive::Remove(std::string_view keyPath, std::string_view name) {
  Key* k = FindKey(keyPath);
  if (k == nullptr) return false;
  auto it = std::find_if(k->values.begin(), k->values.end(),
                         [&](const Entry& e) { return EqualNoCase(e.name, name); });
  if (it == k->values.end()) return false;
  k->values.erase(it);
  return true;
}

std::string RegistryHive::Serialize() const {
  std::string out(kHeader);
  out += "\n";
  for (const Key& k : keys_) {
    out += "\n[" + root_ + "\\" + k.path + "]\n";
    for (const Entry& e : k.values) {
      if (e.name.empty()) out += "@";
      else AppendQuoted(out, e.name);
      out += "=";
      if (e.value.type == RegistryValue::Type::Unread) {
        out += e.value.text;
      } else if (e.value.type == RegistryValue::Type::Dword) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(e.value.dword));
        out += hex;
      } else {
        AppendQuoted(out, e.value.text);
      }
      out += "\n";
    }
  }
  return out;
}

bool RegistryHive::ParseLine(std::string_view line, std::size_t& current,
                             std::optional<std::string>& continued, std::string& reason) {
  if (line.front() == '[') {
    if (line.back() != ']') return reason = "key header without ']'", false;
    std::string_view path = line.substr(1, line.size() - 2);
    if (path.size() <= root_.size() || !EqualNoCase(path.substr(0, root_.size()), root_) ||
        path[root_.size()] != '\\') {
      return reason = "key outside " + root_, false;
    }
    path.remove_prefix(root_.size() + 1);
    if (!IsValidKeyPath(path)) return reason = "malformed key path", false;
    CreateKey(path);
    current = static_cast<std::size_t>(FindKey(path) - keys_.data());
    return true;
  }
  if (current >= keys_.size()) return reason = "value before any key", false;
  std::string name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (!TakeQuoted(line, name, reason)) {
    return false;
  }
  line = Trim(line);
  if (line.empty() || line.front() != '=') return reason = "expected '='", false;
  const std::string_view data = Trim(line.substr(1));
  RegistryValue value;
  if (!ReadData(data, value)) {
    // One value the client does not read must not cost the user every
    // other setting in the hive.
    value = RegistryValue::Unread(data);
    if (!data.empty() && data.back() == '\\') continued = name;
  }
  Set(std::string(keys_[current].path), name, value);
  return true;
}

void RegistryHive::ParseContinuation(std::string_view line, std::size_t current,
                                     std::optional<std::string>& continued) {
  for (Entry& e : keys_[current].values) {
    if (!EqualNoCase(e.name, *continued)) continue;
    e.value.text += '\n';
    e.value.text += line;
  }
  if (Trim(line).back() != '\\') continued.reset();
}

bool RegistryHive::Parse(std::string_view text, std::string* error) {
  RegistryHive parsed(root_);
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  bool sawHeader = false;
  std::optional<std::string> continued;  // the Unread value whose data ended in "\\"
  std::size_t current = static_cast<std::size_t>(-1);  // index of the open key
  std::size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const std::string_view line = Trim(raw);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Exports indent continuation lines; a line that is not indented starts
    // something new even after a stray backslash.
    if (continued && !line.empty() && (raw.front() == ' ' || raw.front() == '\t')) {
      parsed.ParseContinuation(raw, current, continued);
      continue;
    }
    continued.reset();
    if (line.empty() || line.front() == ';') continue;
    std::string reason;
    if (!sawHeader) {
      sawHeader = line == kHeader;
      if (!sawHeader) reason = "missing \"" + std::string(kHeader) + "\"";
    } else if (parsed.ParseLine(line, current, continued, reason)) {
      continue;
    } else {
      // One bad line must not cost the user every other setting: it is
      // skipped (and reported), and the values under a bad key header go
      // with it rather than into the key before.
      if (line.front() == '[') current = static_cast<std::size_t>(-1);
      if (error) *error += (error->empty() ? "" : "; ") + ("line " + std::to_string(lineNo) + ": " + reason);
      continue;
    }
    if (!reason.empty()) {
      if (error) *error = "line " + std::to_string(lineNo) + ": " + reason;
      return false;
    }
  }
  // Reaching here without the header line means the text held only blanks
  // and comments: nothing that could be lost, so it is an empty hive.
  keys_ = std::move(parsed.keys_);
  return true;
}

std::vector<std::pair<std::string, std::string>> RegistryHive::UnreadValues() const {
  std::vector<std::pair<std::string, std::string>> unread;
  for (const Key& k : keys_) {
    for (const Entry& e : k.values) {
      if (e.value.type == RegistryValue::Type::Unread) unread.emplace_back(k.path, e.name);
    }
  }
  return unread;
}

}  // namespace korvex
