//===- service/JsonValue.h - Dynamic JSON value ------------------*- C++ -*-===//
///
/// One value of a service answer: an object, an array, a string, an unsigned
/// 64-bit integer, a 32-bit float, a boolean, or nothing (null, or "not
/// parsed"). The holder is a boost::any so that readers test the held type
/// before use, exactly as the answer readers are written: a present field of
/// the wrong type reads as absent.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <boost/any.hpp>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>

namespace korvex {

class JsonValue;
/// Keys compare bytewise; a parsed object keeps the first of duplicated keys.
using JsonObject = std::map<std::string, JsonValue>;
/// Elements in document order.
using JsonArray = std::deque<JsonValue>;

class JsonValue {
 public:
  /// The empty value: JSON null, or nothing parsed.
  JsonValue() = default;
  explicit JsonValue(JsonObject object);
  explicit JsonValue(JsonArray array);
  explicit JsonValue(std::string text) : holder_(std::move(text)) {}
  explicit JsonValue(std::uint64_t number) : holder_(number) {}
  explicit JsonValue(float number) : holder_(number) {}
  explicit JsonValue(bool flag) : holder_(flag) {}

  [[nodiscard]] bool IsEmpty() const noexcept { return holder_.empty(); }
  [[nodiscard]] bool IsObject() const noexcept { return Holds<JsonObject>(); }
  [[nodiscard]] bool IsArray() const noexcept { return Holds<JsonArray>(); }
  [[nodiscard]] bool IsString() const noexcept { return Holds<std::string>(); }
  [[nodiscard]] bool IsInteger() const noexcept { return Holds<std::uint64_t>(); }
  [[nodiscard]] bool IsFloat() const noexcept { return Holds<float>(); }
  [[nodiscard]] bool IsBool() const noexcept { return Holds<bool>(); }

  /// Typed views: null when the value holds another type.
  [[nodiscard]] const JsonObject* AsObject() const noexcept { return Get<JsonObject>(); }
  [[nodiscard]] const JsonArray* AsArray() const noexcept { return Get<JsonArray>(); }
  [[nodiscard]] const std::string* AsString() const noexcept { return Get<std::string>(); }
  [[nodiscard]] const std::uint64_t* AsInteger() const noexcept { return Get<std::uint64_t>(); }
  [[nodiscard]] const float* AsFloat() const noexcept { return Get<float>(); }
  [[nodiscard]] const bool* AsBool() const noexcept { return Get<bool>(); }

  /// Signed readings of an integer take its low 32 or all 64 bits, so "-1"
  /// (stored modulo 2^64) reads back as -1. False when not an integer.
  [[nodiscard]] bool GetInt32(std::int32_t& out) const noexcept;
  [[nodiscard]] bool GetInt64(std::int64_t& out) const noexcept;

  /// The underlying holder, for callers that dispatch on the type themselves.
  [[nodiscard]] const boost::any& Holder() const noexcept { return holder_; }

 private:
  template <typename T>
  [[nodiscard]] bool Holds() const noexcept {
    return holder_.type() == typeid(T);
  }
  template <typename T>
  [[nodiscard]] const T* Get() const noexcept {
    return boost::any_cast<T>(&holder_);
  }

  boost::any holder_;
};

/// Field lookups on an object. A field counts as present only if the key
/// exists and holds the asked type; each returns null or false otherwise.
[[nodiscard]] const JsonValue* FindField(const JsonObject& object, std::string_view key);
[[nodiscard]] const std::string* FindString(const JsonObject& object, std::string_view key);
[[nodiscard]] const JsonArray* FindArray(const JsonObject& object, std::string_view key);
[[nodiscard]] const std::uint64_t* FindInteger(const JsonObject& object, std::string_view key);

}  // namespace korvex
