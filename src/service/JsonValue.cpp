//===- service/JsonValue.cpp - Dynamic JSON value ---------------------===//

#include "service/JsonValue.h"

namespace korvex {

JsonValue::JsonValue(JsonObject object) : holder_(std::move(object)) {}
JsonValue::JsonValue(JsonArray array) : holder_(std::move(array)) {}

bool JsonValue::GetInt32(std::int32_t& out) const noexcept {
  const std::uint64_t* value = AsInteger();
  if (!value) return false;
  out = static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
  return true;
}

bool JsonValue::GetInt64(std::int64_t& out) const noexcept {
  const std::uint64_t* value = AsInteger();
  if (!value) return false;
  out = static_cast<std::int64_t>(*value);
  return true;
}

const JsonValue* FindField(const JsonObject& object, std::string_view key) {
  // std::map<std::string, ...> has no heterogeneous lookup without a
  // transparent comparator; a short temporary key is cheaper than changing
  // the public object type.
  auto it = object.find(std::string(key));
  return it == object.end() ? nullptr : &it->second;
}

const std::string* FindString(const JsonObject& object, std::string_view key) {
  const JsonValue* value = FindField(object, key);
  return value ? value->AsString() : nullptr;
}

const JsonArray* FindArray(const JsonObject& object, std::string_view key) {
  const JsonValue* value = FindField(object, key);
  return value ? value->AsArray() : nullptr;
}

const std::uint64_t* FindInteger(const JsonObject& object, std::string_view key) {
  const JsonValue* value = FindField(object, key);
  return value ? value->AsInteger() : nullptr;
}

}  // namespace korvex
