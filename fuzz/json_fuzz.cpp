// Fuzzes ParseJson: no crash, hang or sanitizer report on any input, and no
// refusal of a document that a strict reference parser accepts, unless it
// lies outside what this parser admits on purpose (integers beyond 64 bits,
// nesting beyond the depth limit).

#include "service/JsonParser.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using korvex::JsonValue;

// Walks the whole document so that every stored value is read once.
std::size_t Walk(const JsonValue& value, int depth) {
  if (depth > korvex::kMaxJsonDepth + 1) std::abort();  // deeper than admitted
  std::size_t count = 1;
  if (const auto* object = value.AsObject()) {
    for (const auto& [key, member] : *object) count += key.size() + Walk(member, depth + 1);
  } else if (const auto* array = value.AsArray()) {
    for (const auto& element : *array) count += Walk(element, depth + 1);
  } else if (const auto* text = value.AsString()) {
    count += text->size();
  }
  return count;
}

// Also true for text with a NUL byte: the reference parser stops reading
// there and accepts what came before.
bool OutsideAdmittedRange(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return true;
  int openings = 0;
  int digits = 0;
  for (char c : text) {
    if (c == '[' || c == '{') ++openings;
    digits = (c >= '0' && c <= '9') ? digits + 1 : 0;
    if (digits >= 20) return true;
  }
  return openings > korvex::kMaxJsonDepth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  JsonValue value = korvex::ParseJson(text);
  if (!value.IsEmpty()) (void)Walk(value, 1);

  // The reference parser rejects control bytes and bad UTF-8 that this one
  // passes through, so only its acceptances are binding.
  if (value.IsEmpty() && !OutsideAdmittedRange(text) && nlohmann::json::accept(text.begin(), text.end())) {
    // "null" is accepted by both and is the empty value here.
    nlohmann::json doc = nlohmann::json::parse(text.begin(), text.end());
    if (!doc.is_null()) std::abort();
  }
  return 0;
}
