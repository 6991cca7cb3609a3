//===- service/JsonResponse.h - The common answer envelope -------*- C++ -*-===//
///
/// Every JSON answer of the service is an object with an integer "result"
/// (1 success, 0 refusal) and, on refusal, an "errmsg" text and a "state"
/// code. CheckJsonResponse validates that envelope; RefusalStatus turns a
/// refusal into the status code callers test for.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "service/JsonValue.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

/// Service states that mean "the name exists already".
inline constexpr std::int32_t kStateDirectoryExists = 2006;

struct JsonResponse {
  bool succeeded = false;    ///< "result" was 1
  std::string errmsg;        ///< "errmsg" when it is a string, else empty
  std::int32_t state = 0;    ///< "state", 0 if absent
  JsonValue root;            ///< the parsed document
  /// The root object; null until the root is known to be an object. Points
  /// into `root`, so a JsonResponse must not be copied after the check.
  const JsonObject* object = nullptr;
};

/// Parses `body` into `response` and checks the envelope. Returns S_OK only
/// when "result" is the integer 1. Returns E_INVALIDARG for a body that is
/// not a JSON object, a missing or non-integer "result", a "result" other
/// than 0 or 1, and for a refusal ("result" 0, whose "errmsg" and "state"
/// are then filled in). Logs under "JsonResponse"; the body is formatted
/// only when the threshold admits the line.
[[nodiscard]] HRESULT CheckJsonResponse(std::string_view body, JsonResponse& response);

/// The status code of a refused answer: 0x80070050 for the "exists"
/// states (3009, 3017, 2013, 2006), 0x804F0000 when no state was given, a
/// negative state as it is, and 0x8007xxxx for a positive one.
[[nodiscard]] HRESULT RefusalStatus(std::int32_t state) noexcept;

}  // namespace korvex
