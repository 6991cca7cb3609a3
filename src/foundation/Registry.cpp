//===- foundation/Registry.cpp - Settings in file-backed hives ------------===//

#include "foundation/Registry.h"

#include "foundation/AutoStart.h"
#include "foundation/RegistryFile.h"
#include "platform/Paths.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

RegistryFile FileFor(Hive hive) {
  // Resolved on every call: KORVEX_HOME may change between calls (tests).
  if (hive == Hive::LocalMachine) {
    return RegistryFile(paths::MachineConfigDir() / "KorvexDataSMB" / "HKLM.reg", "HKEY_LOCAL_MACHINE",
                        /*writable=*/false);
  }
  return RegistryFile(paths::UserConfigDir() / "KorvexDataSMB" / "HKCU.reg", "HKEY_CURRENT_USER",
                      /*writable=*/true);
}

/// "%s\\%s"; an empty subkey names the key itself, as opening "" below an
/// open key does.
std::string JoinKey(std::string_view key, std::string_view subkey) {
  std::string path(key);
  if (!subkey.empty()) {
    path += '\\';
    path += subkey;
  }
  return path;
}

/// The stored value when it exists with the wanted type.
bool Lookup(Hive hive, std::string_view key, std::string_view name, RegistryValue::Type type,
            RegistryValue& out) {
  if (!RegistryHive::IsValidKeyPath(key)) return false;
  const RegistryFile file = FileFor(hive);
  RegistryHive content(file.RootName());
  if (Failed(file.Load(content))) return false;
  const RegistryValue* value = content.Find(key, name);
  if (value == nullptr || value->type != type) return false;
  out = *value;
  return true;
}

bool Store(Hive hive, std::string_view key, std::string_view name, const RegistryValue& value) {
  if (!RegistryHive::IsValidKeyPath(key) || !RegistryHive::IsStorableText(name) ||
      !RegistryHive::IsStorableText(value.text)) {
    return false;
  }
  return Succeeded(FileFor(hive).Update([&](RegistryHive& content) { return content.Set(key, name, value); }));
}

}  // namespace

std::uint32_t ReadDword(Hive hive, std::string_view key, std::string_view name, std::uint32_t defaultValue) {
  // The Run value is text; as a number it reads as missing.
  if (hive == Hive::CurrentUser && IsRunValue(key, name)) return defaultValue;
  RegistryValue value;
  return Lookup(hive, key, name, RegistryValue::Type::Dword, value) ? value.dword : defaultValue;
}

bool WriteDword(Hive hive, std::string_view key, std::string_view name, std::uint32_t value) {
  if (hive == Hive::CurrentUser && IsRunValue(key, name)) return false;  // an entry holds a path only
  return Store(hive, key, name, RegistryValue::Dword(value));
}

std::string ReadString(Hive hive, std::string_view key, std::string_view name, std::string_view defaultValue) {
  if (hive == Hive::CurrentUser && IsRunValue(key, name)) {
    std::string program = IsAutoStartEnabled() ? AutoStartProgram() : std::string();
    return program.empty() ? std::string(defaultValue) : program;
  }
  RegistryValue value;
  return Lookup(hive, key, name, RegistryValue::Type::String, value) ? value.text : std::string(defaultValue);
}

bool WriteString(Hive hive, std::string_view key, std::string_view name, std::string_view value) {
  if (hive == Hive::CurrentUser && IsRunValue(key, name)) return SetAutoStart(true, std::string(value));
  return Store(hive, key, name, RegistryValue::String(value));
}

bool DeleteValue(Hive hive, std::string_view key, std::string_view name) {
  // Like any value, deleting an absent Run value reports false.
  if (hive == Hive::CurrentUser && IsRunValue(key, name)) {
    return fs::exists(AutoStartEntryPath()) && SetAutoStart(false, {});
  }
  if (!RegistryHive::IsValidKeyPath(key)) return false;
  bool removed = false;
  HRESULT hr = FileFor(hive).Update([&](RegistryHive& content) { return removed = content.Remove(key, name); });
  return Succeeded(hr) && removed;
}

std::uint32_t ReadDword(Hive hive, std::string_view key, std::string_view subkey, std::string_view name,
                        std::uint32_t defaultValue) {
  return ReadDword(hive, JoinKey(key, subkey), name, defaultValue);
}

bool WriteDword(Hive hive, std::string_view key, std::string_view subkey, std::string_view name,
                std::uint32_t value) {
  return WriteDword(hive, JoinKey(key, subkey), name, value);
}

std::string ReadString(Hive hive, std::string_view key, std::string_view subkey, std::string_view name,
                       std::string_view defaultValue) {
  return ReadString(hive, JoinKey(key, subkey), name, defaultValue);
}

bool WriteString(Hive hive, std::string_view key, std::string_view subkey, std::string_view name,
                 std::string_view value) {
  return WriteString(hive, JoinKey(key, subkey), name, value);
}

bool DeleteValue(Hive hive, std::string_view key, std::string_view subkey, std::string_view name) {
  return DeleteValue(hive, JoinKey(key, subkey), name);
}

}  // namespace korvex
