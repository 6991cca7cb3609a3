//===- service/RequestText.cpp - Building request paths and bodies ----===//

#include "service/RequestText.h"

#include "platform/PercentEncoding.h"

namespace korvex {

std::string EncodeName(std::string_view name) {
  return PercentEncode(name, IsAsciiAlphanumeric);
}

std::string EncodeFormText(std::string_view text) {
  return PercentEncode(text, [](unsigned char byte) { return byte != '%' && byte != '&' && byte != '+'; });
}

}  // namespace korvex
