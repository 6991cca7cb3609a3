//===- service/AnswerLookup.cpp - Values in response headers ===//

#include "service/AnswerLookup.h"

#include <boost/tokenizer.hpp>

#include "platform/AsciiText.h"


namespace korvex {
namespace {

// A part counts only when it starts with the name at once: "; Path=/" has a
// blank before "Path" and is not a match for "Path".
bool FindAttribute(std::string_view text, std::string_view name, std::string& value) {
  using Tokenizer = boost::tokenizer<boost::char_separator<char>, std::string_view::const_iterator, std::string>;
  boost::char_separator<char> separator(";", "", boost::keep_empty_tokens);
  Tokenizer parts(text.begin(), text.end(), separator);
  for (const std::string& part : parts) {
    if (part.size() <= name.size() || part[name.size()] != '=') continue;
    if (!StartsWithIgnoringAsciiCase(part, name)) continue;
    value = part.substr(name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

std::string HeaderAttributeValue(std::string_view headerValue, std::string_view name) {
  std::string value;
  (void)FindAttribute(headerValue, name, value);
  return value;
}

}  // namespace korvex
